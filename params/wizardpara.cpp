#include "params/wizardpara.h"

#include "core/globals.h"
#include "params/lastgood.h"
#include "params/signalnames.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTextStream>
#include <QtDebug>

#include <cstring>
#include <vector>

std::function<void(WizardPara &)> WizardPara::onCustomStagesDerived;
std::function<void(const WizardPara &)> WizardPara::onSaved;

namespace {

// Position lists of the stored rows: the word each space-separated value goes to.
constexpr int kLanguageWord = -2;  // the position holds gLan, not a word of the record

struct StoredRow
{
    const char *name;
    std::vector<int> words;
};

std::vector<int> range(int first, int count)
{
    std::vector<int> words;
    for (int i = 0; i < count; ++i)
        words.push_back(first + i);
    return words;
}

std::vector<int> join(std::initializer_list<std::vector<int>> parts)
{
    std::vector<int> words;
    for (const auto &part : parts)
        words.insert(words.end(), part.begin(), part.end());
    return words;
}

const std::vector<StoredRow> &storedRows()
{
    static const std::vector<StoredRow> rows = {
        {"trigInDelay", range(40, 8)},
        {"exposeTime", range(0, 4)},
        {"adjustPlus", range(8, 4)},
        {"sharp", range(16, 4)},
        {"contrast", range(24, 4)},
        {"numFailDetect", {164, 166, 168, 169, 170, 173, 174, 177}},
        {"numAllDetect", range(32, 8)},
        {"isPswUsed", {99}},
        {"system1", {85, 101, 94, 97, 95, 167, 113, 107, 145}},
        {"system2", {98, 105, 161, 106, 114, 115, 123, 126, 122, 133, 134, 135, kLanguageWord, 147, 148,
                     108, 109, 116}},
        // Word 419 was added last: an older file without it leaves compensation off, an older
        // station reading a newer file ignores it.
        {"system3", {125, 137, 110, 138, 139, 140, 141, 142, 111, 144, 143, 419}},
        {"system4", join({{100}, range(207, 12), {120, 121}})},
        {"system5", {4, 5, 12, 13, 20, 21, 28, 29, 128, 179, 130, 420, 131}},
        {"system6", {6, 7, 14, 15, 22, 23, 30, 31, 117, 146, 154, 136}},
        {"system7", join({{157, 158, 159, 162, 76, 77, 78, 160, 79, 163, 149, 352, 150, 151}, range(80, 5),
                          {175}})},
        {"system8", join({{353}, range(362, 8), range(370, 8), {127, 152, 176}})},
        {"system9", join({range(354, 8), {118, 119, 153, 172, 178, 95, 132, 479, 421, 102, 103, 422}})},
        {"system10", join({range(387, 16), {423, 124, 473, 96}})},
        {"system11", join({range(424, 8), range(440, 8), {155, 156, 404, 171}})},
        {"system12", join({range(456, 8), range(464, 8), {129, 474, 477, 478, 475}})},
        {"system13", join({{476}, std::vector<int>(19, 180)})},
        {"CntNet", {219, 245, 246, 247, 248, 325, 326, 324}},
    };
    return rows;
}

const StoredRow &row(const char *name)
{
    for (const auto &r : storedRows())
        if (std::strcmp(r.name, name) == 0)
            return r;
    Q_UNREACHABLE();
}

struct TextRow
{
    const char *name;
    int firstWord;
    bool utf8;
};

constexpr TextRow kTextRows[] = {
    {"password", 181, false},           {"CntNet_UseName", 220, false},
    {"CntNet_MsgTechName", 249, false}, {"CntNet_MsgTechNum", 274, false},
    {"CntNet_ProName", 299, true},      {"CntNet_Operator", 327, true},
};

const TextRow &textRow(const char *name)
{
    for (const auto &r : kTextRows)
        if (std::strcmp(r.name, name) == 0)
            return r;
    Q_UNREACHABLE();
}

// Load order of the rows; text rows are interleaved where the store reads them.
const char *const kLoadOrder[] = {
    "trigInDelay", "exposeTime", "adjustPlus", "numFailDetect", "numAllDetect", "isPswUsed", "password",
    "system1", "system2", "system3", "system4", "sharp", "contrast", "system5", "system6", "system7",
    "system8", "system9", "system10", "system11", "system12", "system13", "CntNet", "CntNet_UseName",
    "CntNet_MsgTechName", "CntNet_MsgTechNum", "CntNet_ProName", "CntNet_Operator",
};

const char *const kSaveOrder[] = {
    "trigInDelay", "exposeTime", "sharp", "contrast", "adjustPlus", "numFailDetect", "numAllDetect",
    "isPswUsed", "password", "system1", "system2", "system3", "system4", "system5", "system6", "system7",
    "system8", "system9", "system10", "system11", "system12", "system13",
};

const char *const kNetSaveOrder[] = {
    "CntNet", "CntNet_UseName", "CntNet_MsgTechName", "CntNet_MsgTechNum", "CntNet_ProName", "CntNet_Operator",
};

bool isTextRow(const char *name)
{
    for (const auto &r : kTextRows)
        if (std::strcmp(r.name, name) == 0)
            return true;
    return false;
}

char (&textField(WizardPara &para, int firstWord))[100]
{
    return *reinterpret_cast<char (*)[100]>(&para.word(firstWord));
}

QSqlDatabase paramDb() { return QSqlDatabase::database(QStringLiteral("dbIn"), false); }
QSqlDatabase serialDb() { return QSqlDatabase::database(QStringLiteral("dbT"), false); }

// Reads the value text of row `name`; false when the table has no such row.
bool selectValue(QSqlDatabase db, const QString &name, QString *value)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("select value from sysparam where name=?"));
    query.addBindValue(name);
    if (!query.exec()) {
        qWarning().noquote() << "parameter read of" << name << "failed:" << query.lastError().text();
        return false;
    }
    if (!query.next())
        return false;
    *value = query.value(0).toString();
    return true;
}

bool insertRow(QSqlDatabase db, const QString &name, const QString &value)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("insert into sysparam values(?, ?)"));
    query.addBindValue(name);
    query.addBindValue(value);
    if (!query.exec()) {
        qWarning().noquote() << "parameter row" << name << "could not be created:" << query.lastError().text();
        return false;
    }
    return true;
}

bool updateRow(QSqlDatabase db, const QString &name, const QString &value)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("update sysparam set value=? where name=?"));
    query.addBindValue(value);
    query.addBindValue(name);
    if (!query.exec()) {
        qWarning().noquote() << "parameter row" << name << "could not be saved:" << query.lastError().text();
        return false;
    }
    return true;
}

// Repairs for values compared as unsigned, so every negative value counts as too large.
bool above(int32_t value, uint32_t limit) { return static_cast<uint32_t>(value) > limit; }
void repairAbove(int32_t &value, uint32_t limit, int32_t replacement)
{
    if (above(value, limit))
        value = replacement;
}
void repairZeroOrAbove(int32_t &value, uint32_t limit, int32_t replacement)
{
    if (value == 0 || above(value, limit))
        value = replacement;
}

constexpr const char *kSystem7Default = "0 0 0 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0";
constexpr const char *kZeros20 = "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";

}  // namespace

QString ParaText(const char (&field)[100], bool utf8)
{
    const auto length = static_cast<qsizetype>(strnlen(field, sizeof field));
    return utf8 ? QString::fromUtf8(field, length) : QString::fromLatin1(field, length);
}

// A text longer than the field keeps its first 99 bytes; a UTF-8 text is cut before a character
// that would not fit, so the field never ends in half a character.
void SetParaText(char (&field)[100], const QString &text, bool utf8)
{
    QByteArray bytes = utf8 ? text.toUtf8() : text.toLatin1();
    if (bytes.size() > 99) {
        qsizetype cut = 99;
        if (utf8)
            while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
                --cut;
        bytes.truncate(cut);
    }
    std::memset(field, 0, sizeof field);
    std::memcpy(field, bytes.constData(), static_cast<size_t>(bytes.size()));
}

WizardPara::WizardPara()
{
    std::memset(static_cast<WizardParaWords *>(this), 0, sizeof(WizardParaWords));
    stage_enable[1] = 1;
    net_options[0] = 1;
    net_options[1] = 3;
    net_options[2] = 0;
    net_options[3] = 0;
    word(325) = 6;
    word(326) = 1;
    word(324) = 10000;
    custom_stage_count = 2;
    roi_ng_warn_count = 2;
}

void WizardPara::LoadDatafromFile()
{
    // 1. sysadd.txt holds word 472 outside the database.
    QFile add(QStringLiteral("sysadd.txt"));
    if (add.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const int value = QString::fromLatin1(add.readAll()).trimmed().section(QLatin1Char(' '), 0, 0).toInt(&ok);
        if (ok)
            sysadd = value;
    } else {
        SaveAddFile();
    }

    // 2, 3. The rows of PARAM.db, each value list into its words.
    QSqlDatabase db = paramDb();
    for (const char *name : kLoadOrder) {
        const QString key = QString::fromLatin1(name);
        QString value;
        const bool found = selectValue(db, key, &value);
        if (isTextRow(name)) {
            if (found) {
                const TextRow &text = textRow(name);
                SetParaText(textField(*this, text.firstWord), value, text.utf8);
            }
            continue;
        }
        const StoredRow &stored = row(name);
        if (!found) {
            if (key.startsWith(QLatin1String("system")) && key.mid(6).toInt() >= 7)
                insertRow(db, key, key == QLatin1String("system7") ? QString::fromLatin1(kSystem7Default)
                                                                   : QString::fromLatin1(kZeros20));
            continue;
        }
        const QStringList values = value.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        for (size_t i = 0; i < stored.words.size() && i < static_cast<size_t>(values.size()); ++i) {
            bool ok = false;
            const int number = values[static_cast<qsizetype>(i)].toInt(&ok);
            if (!ok)
                continue;
            if (stored.words[i] == kLanguageWord)
                gLan = number;
            else
                word(stored.words[i]) = number;
        }
    }

    // 4, 5. Repairs and the detection-method fix-up.
    Repair();

    // 6. Stages.
    DeriveStages();

    // 7. Signal names.
    AssignSignalNames();

    // 8. Camera serial numbers from SN.db.
    QSqlDatabase sn = serialDb();
    camera_serial_count = 0;
    for (int slot = 0; slot < 8; ++slot) {
        const QString key = QStringLiteral("serialNB%1").arg(slot);
        QString value;
        if (selectValue(sn, key, &value)) {
            const QByteArray bytes = value.toLatin1();
            if (bytes.size() >= 9 && bytes.size() <= 99) {
                std::memset(gSerialNB[slot], 0, sizeof gSerialNB[slot]);
                std::memcpy(gSerialNB[slot], bytes.constData(), static_cast<size_t>(bytes.size()));
                ++camera_serial_count;
            }
        } else {
            std::memset(gSerialNB[slot], 0, sizeof gSerialNB[slot]);
            gSerialNB[slot][0] = '0';
            insertRow(sn, key, QStringLiteral("0"));
        }
    }
}

void WizardPara::Repair()
{
    for (int camera = 0; camera < 8; ++camera) {
        repairAbove(expose_time[camera], 10000, 30);
        repairAbove(adjust_plus[camera], 10000, 32);
        repairAbove(sharp[camera], 10000, 0);
        repairZeroOrAbove(contrast[camera], 10000, 100);
        repairZeroOrAbove(gamma[camera], 10000, 100);
    }
    if (custom_stage_count < 2 || custom_stage_count > 8)
        custom_stage_count = 2;
    repairAbove(work_mode, 5, 0);
    work_mode_next = work_mode;
    if ((work_mode == 1 || work_mode == 2) && above(work_submode, 3))
        work_submode = 0;

    if (enable_correct != 0 && enable_correct != -1)
        enable_correct = -1;
    repairZeroOrAbove(max_mold_num, 100, 10);
    repairAbove(ng_max_num, 20000, 0);
    repairAbove(ok_record_max_num, 20000, 0);
    if (location_level != 0 && (location_level < 30 || location_level > 9999))
        location_level = 600;
    repairAbove(capture_speed, 100, 12);
    repairAbove(difference_multiplier, 4, 0);
    repairAbove(lighting_compensation, 1, 0);
    repairAbove(auto_cancel_timelen, 10000, 0);
    repairAbove(front_auto_check_time, 10000, 0);
    repairAbove(thimble_pulse, 10000, 0);
    repairAbove(mold_pulse, 10000, 0);
    repairAbove(input_timeout_len, 100000000, 60);
    repairZeroOrAbove(minimum_size, 100, 3);
    repairZeroOrAbove(minimum_area, 100000, 100);
    repairZeroOrAbove(location_adge, 8000, 8000);
    repairAbove(serial_port, 100, 0);
    repairZeroOrAbove(enable_stop_check, 100, 3);
    repairAbove(pre_cut, 10000, 0);
    repairAbove(word179, 180, 0);
    repairZeroOrAbove(skip_cycles, 100, 0);
    repairAbove(word180, 100000000, 0);
    if (gLan < 0 || gLan > 2)
        gLan = 0;

    // A record that offers no detection method but direction and distance gets the defect method.
    if (enable_defect_detect == 0 && enable_spot_detect == 0 && enable_black_area == 0 && enable_white_area == 0
        && enable_similarity == 0 && enable_white_count == 0 && enable_direction != 0 && enable_distance != 0)
        enable_defect_detect = 1;
}

void WizardPara::DeriveStages()
{
    const bool product = enable_product_detect != 0;
    auto setFour = [this](int a, int b, int c, int d) {
        stage_enable[0] = a;
        stage_enable[1] = b;
        stage_enable[2] = c;
        stage_enable[3] = d;
    };
    switch (work_mode) {
    case 0:
    case 3: {
        gDNum = 2;
        stage_count = 4;
        stage_enable[0] = enable_product_detect;
        stage_enable[1] = 1;
        trigger_input[0] = 0;
        trigger_input[1] = semi_auto ? 2 : 0;
        const int level = (enable_stop_not_alarm == 0 && no_alarm_pulse == 0) ? 1 : 0;
        for (int w = 80; w <= 83; ++w)
            word(w) = level;
        break;
    }
    case 1:
    case 2: {
        gDNum = 4;
        stage_count = 4;
        const bool mode1 = work_mode == 1;
        switch (work_submode) {
        case 0:
            setFour(product, 1, 0, 0);
            trigger_input[0] = 0;
            trigger_input[1] = mode1 ? 2 : (semi_auto ? 2 : 0);
            gTwoStationLeftSide = true;
            break;
        case 1:
            setFour(0, 0, product, 1);
            trigger_input[0] = mode1 ? 0 : 3;
            trigger_input[1] = mode1 ? 3 : (semi_auto ? 2 : 3);
            gTwoStationLeftSide = false;
            break;
        default:
            setFour(product, 1, product, 1);
            trigger_input[0] = mode1 ? 0 : 255;
            trigger_input[1] = mode1 ? 255 : (semi_auto ? 2 : 255);
            break;
        }
        break;
    }
    case 4: {
        gDNum = custom_stage_count;
        stage_count = custom_stage_count;
        for (int i = 0; i < 8; ++i) {
            bool active = false;
            if (i < custom_stage_count) {
                const int source = custom_stage_source[i];
                stage_source[i] = source;
                // A source or trigger row outside the tables leaves the stage without a trigger.
                const bool known = source >= 0 && source < 8 && trigger_source_input[source] >= 0
                                   && trigger_source_input[source] < 8;
                active = source != -1 && known && (i > 0 || product);
                if (active)
                    trigger_input[i] = kTriggerSourceInputs[trigger_source_input[source]] - 1;
            }
            stage_enable[i] = active ? 1 : 0;
            if (!active)
                trigger_input[i] = -1;
        }
        if (onCustomStagesDerived)
            onCustomStagesDerived(*this);
        break;
    }
    default:  // mode 5 keeps the stage configuration as it stands
        break;
    }
}

void WizardPara::AssignSignalNames()
{
    QFile names(QStringLiteral("name.txt"));
    if (names.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&names);
        for (int i = 0; i < 8; ++i)
            gaName[i] = in.atEnd() ? QString() : in.readLine();
        return;
    }
    // Text rows of the fixed-mode names.
    enum { Open = 301, Safety = 302, Back = 303, Rsv = 304, Clamp = 305, Thimble = 306, Alarm = 307,
           LeftMold = 376, RightMold = 377, TransferMold = 378, ShiftLeft = 379, ResetKey = 380,
           StartKey = 381, ShiftRight = 382 };
    auto setRows = [](std::initializer_list<int> rows) {
        int i = 0;
        for (int r : rows)
            gaName[i++] = LanStr(r);
    };
    switch (work_mode) {
    case 1:
        setRows({Open, Safety, LeftMold, RightMold, Clamp, TransferMold, Alarm, Rsv});
        break;
    case 2:
        setRows({ShiftLeft, ResetKey, StartKey, ShiftRight, TransferMold, Thimble, Alarm, Rsv});
        break;
    case 4:
        gaName[0] = InputFunctionName(io_name_index[0]);
        gaName[1] = LanStr(Safety);
        for (int i = 2; i <= 8; ++i)
            gaName[i] = InputFunctionName(io_name_index[i - 1]);
        gaName[9] = OutputFunctionName(io_name_index[8]);
        gaName[10] = OutputFunctionName(io_name_index[9]);
        gaName[11] = LanStr(Alarm);
        for (int i = 12; i <= 17; ++i)
            gaName[i] = OutputFunctionName(io_name_index[i - 2]);
        break;
    default:
        setRows({Open, Safety, Back, Rsv, Clamp, Thimble, Alarm, Rsv});
        break;
    }
}

bool WizardPara::SaveDatatoFile()
{
    QSqlDatabase db = paramDb();
    if (!db.transaction())
        qWarning().noquote() << "parameter save: no transaction:" << db.lastError().text();
    bool ok = true;
    for (const char *name : kSaveOrder) {
        const QString key = QString::fromLatin1(name);
        if (isTextRow(name)) {
            const TextRow &text = textRow(name);
            ok = updateRow(db, key, ParaText(textField(*this, text.firstWord), text.utf8)) && ok;
            continue;
        }
        const StoredRow &stored = row(name);
        QStringList values;
        for (size_t i = 0; i < stored.words.size(); ++i) {
            int value = stored.words[i] == kLanguageWord ? gLan : word(stored.words[i]);
            if (key == QLatin1String("numFailDetect") && i == 0)
                value = work_mode_next;
            values << QString::number(value);
        }
        ok = updateRow(db, key, values.join(QLatin1Char(' '))) && ok;
    }
    for (const char *name : kNetSaveOrder) {
        const QString key = QString::fromLatin1(name);
        SaveChkDBItem(key);
        if (isTextRow(name)) {
            const TextRow &text = textRow(name);
            ok = updateRow(db, key, ParaText(textField(*this, text.firstWord), text.utf8)) && ok;
        } else {
            QStringList values;
            for (int w : row(name).words)
                values << QString::number(word(w));
            ok = updateRow(db, key, values.join(QLatin1Char(' '))) && ok;
        }
    }
    if (!ok) {
        db.rollback();
        qWarning("parameter save failed; the stored parameters are unchanged");
        return false;
    }
    if (!db.commit()) {
        qWarning().noquote() << "parameter save could not be committed:" << db.lastError().text();
        return false;
    }
    // The network hears of parameters only once they are stored.
    if (onSaved)
        onSaved(*this);
    LastGood::Keep(LastGood::Saved::Parameters);
    return true;
}

void WizardPara::SaveAddFile()
{
    QFile add(QStringLiteral("sysadd.txt"));
    if (!add.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qWarning("sysadd.txt could not be written");
        return;
    }
    add.write(QByteArray::number(sysadd) + '\n');
}

void WizardPara::SaveChkDBItem(const QString &name)
{
    QSqlDatabase db = paramDb();
    QString value;
    if (!selectValue(db, name, &value))
        insertRow(db, name, QStringLiteral("0"));
}
