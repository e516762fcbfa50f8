// The parameter record: word layout, load/save round trips, repairs and the stage configuration.
#include "params/wizardpara.h"

#include "core/globals.h"
#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <cstddef>

namespace {

// Opens PARAM.db and SN.db of the working directory under the station's connection names.
class ParamDbs
{
public:
    ParamDbs()
    {
        for (auto [name, file] : {std::pair{"dbIn", "PARAM.db"}, std::pair{"dbT", "SN.db"}}) {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(name));
            db.setDatabaseName(QLatin1String(file));
            db.open();
        }
    }
    ~ParamDbs()
    {
        for (const char *name : {"dbIn", "dbT"}) {
            QSqlDatabase::database(QLatin1String(name), false).close();
            QSqlDatabase::removeDatabase(QLatin1String(name));
        }
    }
};

QString value(const char *connection, const QString &name)
{
    QSqlQuery q(QSqlDatabase::database(QLatin1String(connection)));
    q.prepare(QStringLiteral("select value from sysparam where name=?"));
    q.addBindValue(name);
    if (!q.exec() || !q.next())
        return QStringLiteral("<missing>");
    return q.value(0).toString();
}

void setValue(const char *connection, const QString &name, const QString &text)
{
    QSqlQuery q(QSqlDatabase::database(QLatin1String(connection)));
    q.prepare(QStringLiteral("insert or replace into sysparam values(?, ?)"));
    q.addBindValue(name);
    q.addBindValue(text);
    ASSERT_TRUE(q.exec());
}

void clearTable(const char *connection)
{
    QSqlQuery q(QSqlDatabase::database(QLatin1String(connection)));
    ASSERT_TRUE(q.exec(QStringLiteral("delete from sysparam")));
}

int wordOf(size_t offset) { return static_cast<int>(offset / 4); }

}  // namespace

TEST(WizardParaLayout, NamedFieldsSitAtTheirWordNumbers)
{
    const struct { const char *name; size_t offset; int word; } rows[] = {
        {"expose_time", offsetof(WizardParaWords, expose_time), 0},
        {"gamma", offsetof(WizardParaWords, gamma), 32},
        {"trigInDelay", offsetof(WizardParaWords, trigInDelay), 40},
        {"trigger_input", offsetof(WizardParaWords, trigger_input), 49},
        {"input_level", offsetof(WizardParaWords, input_level), 67},
        {"output_level", offsetof(WizardParaWords, output_level), 76},
        {"semi_auto", offsetof(WizardParaWords, semi_auto), 85},
        {"stage_enable", offsetof(WizardParaWords, stage_enable), 86},
        {"enable_correct", offsetof(WizardParaWords, enable_correct), 97},
        {"lighting_compensation", offsetof(WizardParaWords, lighting_compensation), 419},
        {"enable_product_detect", offsetof(WizardParaWords, enable_product_detect), 101},
        {"camera_serial_count", offsetof(WizardParaWords, camera_serial_count), 104},
        {"max_mold_num", offsetof(WizardParaWords, max_mold_num), 105},
        {"input_timeout_len", offsetof(WizardParaWords, input_timeout_len), 116},
        {"minimum_area", offsetof(WizardParaWords, minimum_area), 121},
        {"enable_output_thimble_pulse", offsetof(WizardParaWords, enable_output_thimble_pulse), 125},
        {"enable_pass_protect", offsetof(WizardParaWords, enable_pass_protect), 133},
        {"enable_one_not_mold", offsetof(WizardParaWords, enable_one_not_mold), 144},
        {"enable_mold_backup", offsetof(WizardParaWords, enable_mold_backup), 147},
        {"location_adge", offsetof(WizardParaWords, location_adge), 148},
        {"enable_camera_check", offsetof(WizardParaWords, enable_camera_check), 155},
        {"serial_port", offsetof(WizardParaWords, serial_port), 157},
        {"factory_param", offsetof(WizardParaWords, factory_param), 163},
        {"work_mode", offsetof(WizardParaWords, work_mode), 164},
        {"work_submode", offsetof(WizardParaWords, work_submode), 166},
        {"auto_wdr", offsetof(WizardParaWords, auto_wdr), 169},
        {"enable_distance", offsetof(WizardParaWords, enable_distance), 178},
        {"password", offsetof(WizardParaWords, password), 181},
        {"enable_network", offsetof(WizardParaWords, enable_network), 206},
        {"local_addr", offsetof(WizardParaWords, local_addr), 207},
        {"gateway", offsetof(WizardParaWords, gateway), 215},
        {"net_report", offsetof(WizardParaWords, net_report), 219},
        {"net_user_name", offsetof(WizardParaWords, net_user_name), 220},
        {"net_options", offsetof(WizardParaWords, net_options), 245},
        {"net_tech_name", offsetof(WizardParaWords, net_tech_name), 249},
        {"net_tech_num", offsetof(WizardParaWords, net_tech_num), 274},
        {"net_product_name", offsetof(WizardParaWords, net_product_name), 299},
        {"net_stat_settings", offsetof(WizardParaWords, net_stat_settings), 324},
        {"net_operator", offsetof(WizardParaWords, net_operator), 327},
        {"custom_stage_count", offsetof(WizardParaWords, custom_stage_count), 353},
        {"custom_stage_source", offsetof(WizardParaWords, custom_stage_source), 354},
        {"trigger_source_input", offsetof(WizardParaWords, trigger_source_input), 362},
        {"trigger_source_kind", offsetof(WizardParaWords, trigger_source_kind), 370},
        {"io_name_index", offsetof(WizardParaWords, io_name_index), 387},
        {"stage_count", offsetof(WizardParaWords, stage_count), 403},
        {"external_trigger", offsetof(WizardParaWords, external_trigger), 420},
        {"h_mirror", offsetof(WizardParaWords, h_mirror), 456},
        {"v_mirror", offsetof(WizardParaWords, v_mirror), 464},
        {"sysadd", offsetof(WizardParaWords, sysadd), 472},
        {"input1_no_hold_idle", offsetof(WizardParaWords, input1_no_hold_idle), 478},
        {"roi_ng_warn_count", offsetof(WizardParaWords, roi_ng_warn_count), 479},
    };
    for (const auto &r : rows)
        EXPECT_EQ(wordOf(r.offset), r.word) << r.name;

    const WizardPara para;
    EXPECT_EQ(para.word(87), 1);
    EXPECT_EQ(para.word(86), 0);
    EXPECT_EQ(para.word(245), 1);
    EXPECT_EQ(para.word(246), 3);
    EXPECT_EQ(para.word(325), 6);
    EXPECT_EQ(para.word(326), 1);
    EXPECT_EQ(para.word(324), 10000);
    EXPECT_EQ(para.word(353), 2);
    EXPECT_EQ(para.word(479), 2);
}

class WizardParaStore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(station.isValid());
        ASSERT_TRUE(QFile::exists(QStringLiteral("PARAM.db")));
        gLan = 1;
    }
    TempStation station;
    ParamDbs dbs;
};

TEST_F(WizardParaStore, EmptyTableLoadsConstructorValuesAndCreatesLaterRows)
{
    clearTable("dbIn");
    WizardPara para;
    para.LoadDatafromFile();
    EXPECT_EQ(gDNum, 2);
    EXPECT_EQ(para.work_mode, 0);
    EXPECT_EQ(para.output_level[2], 0) << "the inserted default row is not read back in the same load";
    EXPECT_EQ(value("dbIn", "system7"), "0 0 0 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0");
    for (int i = 8; i <= 13; ++i)
        EXPECT_EQ(value("dbIn", QStringLiteral("system%1").arg(i)).split(' ').size(), 20);
    EXPECT_EQ(value("dbIn", "system1"), "<missing>");
    EXPECT_EQ(value("dbIn", "CntNet"), "<missing>");
    // Repairs apply to the constructor zeros too.
    EXPECT_EQ(para.expose_time[0], 0);
    EXPECT_EQ(para.contrast[0], 100);
    EXPECT_EQ(para.max_mold_num, 10);
    EXPECT_EQ(para.minimum_area, 100);
}

TEST_F(WizardParaStore, RoundTripKeepsEveryStoredWord)
{
    WizardPara first;
    first.LoadDatafromFile();
    // Give every stored word a distinct value inside its valid range, then save and reload.
    for (int camera = 0; camera < 8; ++camera) {
        first.expose_time[camera] = 100 + camera;
        first.adjust_plus[camera] = 200 + camera;
        first.sharp[camera] = camera;
        first.contrast[camera] = 50 + camera;
        first.gamma[camera] = 60 + camera;
        first.trigInDelay[camera] = 10 + camera;
        first.h_mirror[camera] = camera % 2;
        first.v_mirror[camera] = 1 - camera % 2;
    }
    first.semi_auto = 1;
    first.ng_max_num = 777;
    first.location_level = 120;
    first.serial_port = 3;
    first.external_trigger = 1;
    first.net_report = 1;
    first.custom_stage_count = 5;
    first.io_name_index[15] = 13;
    first.roi_ng_warn_count = 7;
    first.word180 = 4242;
    first.input1_no_hold_idle = 1;
    first.input_timeout_len = 90;
    first.lighting_compensation = 1;
    SetParaText(first.password, QStringLiteral("it's \"ok\"; drop table"));
    SetParaText(first.net_product_name, QStringLiteral("外壳 A'1"), true);
    gLan = 2;
    ASSERT_TRUE(first.SaveDatatoFile());
    EXPECT_EQ(value("dbIn", "system13").split(' ').count(QStringLiteral("4242")), 19);

    gLan = 0;
    WizardPara second;
    second.LoadDatafromFile();
    EXPECT_EQ(gLan, 2);
    const int derived[] = {49, 50, 51, 52, 53, 54, 55, 56, 80, 81, 82, 83, 86, 87, 88, 89, 90, 91, 92, 93,
                           104, 165, 378, 379, 380, 381, 382, 383, 384, 385, 403};
    for (int w = 0; w < WizardPara::kWords; ++w) {
        if (std::find(std::begin(derived), std::end(derived), w) != std::end(derived))
            continue;
        if ((w >= 57 && w <= 75) || w == 112 || w == 206)  // not stored
            continue;
        EXPECT_EQ(second.word(w), first.word(w)) << "word " << w;
    }
    EXPECT_EQ(ParaText(second.password), QStringLiteral("it's \"ok\"; drop table"));
    EXPECT_EQ(ParaText(second.net_product_name, true), QStringLiteral("外壳 A'1"));
}

// The network's parameter report follows a save that was stored, never one that was refused.
TEST_F(WizardParaStore, OnlyAStoredSaveIsReported)
{
    int reports = 0;
    WizardPara::onSaved = [&](const WizardPara &) { ++reports; };
    WizardPara para;
    para.LoadDatafromFile();
    QSqlQuery db(QSqlDatabase::database(QStringLiteral("dbIn")));
    ASSERT_TRUE(db.exec(QStringLiteral("create trigger refuse before update on sysparam begin select raise(abort, 'no'); end")));
    EXPECT_FALSE(para.SaveDatatoFile());
    EXPECT_EQ(reports, 0);
    ASSERT_TRUE(db.exec(QStringLiteral("drop trigger refuse")));
    EXPECT_TRUE(para.SaveDatatoFile());
    EXPECT_EQ(reports, 1);
    WizardPara::onSaved = nullptr;
}

TEST_F(WizardParaStore, ModeChangeTakesEffectAtNextStart)
{
    setValue("dbIn", "numFailDetect", "9 0 0 0 1 1 1 1");
    WizardPara para;
    para.LoadDatafromFile();
    EXPECT_EQ(para.work_mode, 0);
    EXPECT_EQ(para.work_mode_next, 0);
    ASSERT_TRUE(para.SaveDatatoFile());
    EXPECT_TRUE(value("dbIn", "numFailDetect").startsWith("0 "));

    setValue("dbIn", "numFailDetect", "2 0 0 0 1 1 1 1");
    WizardPara running;
    running.LoadDatafromFile();
    running.work_mode_next = 4;
    ASSERT_TRUE(running.SaveDatatoFile());
    EXPECT_TRUE(value("dbIn", "numFailDetect").startsWith("4 "));
    EXPECT_EQ(running.work_mode, 2);
}

TEST_F(WizardParaStore, RepairsOutOfRangeValues)
{
    setValue("dbIn", "exposeTime", "-5 10001 10000 0");
    setValue("dbIn", "contrast", "0 10001 -1 7");
    setValue("dbIn", "system2", "0 0 0 20001 10001 -3 0 0 0 0 0 0 7 0 0 29 101 100000001");
    setValue("dbIn", "system1", "0 1 0 5 0 10001 10001 -1 0");
    setValue("dbIn", "system3", "0 0 5 1 1 1 1 0 10001 0 0 7");
    setValue("dbIn", "system4", "0 0 0 0 0 0 0 0 0 0 0 0 0 0 100001");
    WizardPara para;
    para.LoadDatafromFile();
    EXPECT_EQ(para.expose_time[0], 30);
    EXPECT_EQ(para.expose_time[1], 30);
    EXPECT_EQ(para.expose_time[2], 10000);
    EXPECT_EQ(para.expose_time[3], 0);
    EXPECT_EQ(para.contrast[0], 100);
    EXPECT_EQ(para.contrast[1], 100);
    EXPECT_EQ(para.contrast[2], 100);
    EXPECT_EQ(para.contrast[3], 7);
    EXPECT_EQ(para.max_mold_num, 10);
    EXPECT_EQ(para.enable_stop_check, 3);
    EXPECT_EQ(para.ng_max_num, 0);
    EXPECT_EQ(para.thimble_pulse, 0);
    EXPECT_EQ(para.mold_pulse, 0);
    EXPECT_EQ(gLan, 0);
    EXPECT_EQ(para.location_adge, 8000);
    EXPECT_EQ(para.location_level, 600);
    EXPECT_EQ(para.capture_speed, 12);
    EXPECT_EQ(para.input_timeout_len, 60);
    EXPECT_EQ(para.enable_correct, -1);
    EXPECT_EQ(para.pre_cut, 0);
    EXPECT_EQ(para.front_auto_check_time, 0);
    EXPECT_EQ(para.ok_record_max_num, 0);
    EXPECT_EQ(para.difference_multiplier, 0);
    EXPECT_EQ(para.lighting_compensation, 0);
    EXPECT_EQ(para.auto_cancel_timelen, 0);
    EXPECT_EQ(para.minimum_size, 3);
    EXPECT_EQ(para.minimum_area, 100);
}

TEST_F(WizardParaStore, UnparsableValuesLeaveWordsAlone)
{
    setValue("dbIn", "trigInDelay", "3 x 4");
    WizardPara para;
    para.trigInDelay[1] = 99;
    para.trigInDelay[3] = 98;
    para.LoadDatafromFile();
    EXPECT_EQ(para.trigInDelay[0], 3);
    EXPECT_EQ(para.trigInDelay[1], 99);
    EXPECT_EQ(para.trigInDelay[2], 4);
    EXPECT_EQ(para.trigInDelay[3], 98);
}

TEST_F(WizardParaStore, DetectionMethodFixUp)
{
    setValue("dbIn", "numFailDetect", "0 0 0 0 1 0 0 0");
    setValue("dbIn", "system3", "0 0 0 0 0 0 0 0 0 0 0");
    setValue("dbIn", "system7", "0 0 0 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0");
    setValue("dbIn", "system8", "2 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1");
    setValue("dbIn", "system9", "0 0 0 0 0 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0");
    WizardPara para;
    para.LoadDatafromFile();
    EXPECT_EQ(para.enable_defect_detect, 1);

    setValue("dbIn", "system9", "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0");
    WizardPara without;
    without.LoadDatafromFile();
    EXPECT_EQ(without.enable_defect_detect, 0);
}

TEST_F(WizardParaStore, SerialNumbers)
{
    setValue("dbT", "serialNB0", "AB1234567");
    setValue("dbT", "serialNB1", "12345678");  // 8 characters: ignored
    {
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("dbT")));
        ASSERT_TRUE(q.exec(QStringLiteral("delete from sysparam where name='serialNB2'")));
    }
    std::strcpy(gSerialNB[1], "previous1");
    WizardPara para;
    para.LoadDatafromFile();
    EXPECT_STREQ(gSerialNB[0], "AB1234567");
    EXPECT_STREQ(gSerialNB[1], "previous1");
    EXPECT_STREQ(gSerialNB[2], "0");
    EXPECT_EQ(value("dbT", "serialNB2"), "0");
    EXPECT_EQ(para.camera_serial_count, 1);
}

TEST_F(WizardParaStore, SysaddFileIsCreatedAndRead)
{
    QFile::remove(QStringLiteral("sysadd.txt"));
    WizardPara para;
    para.sysadd = 0;
    para.LoadDatafromFile();
    QFile file(QStringLiteral("sysadd.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("0\n"));
    file.close();

    para.sysadd = 17;
    para.SaveAddFile();
    WizardPara again;
    again.LoadDatafromFile();
    EXPECT_EQ(again.sysadd, 17);
}

TEST_F(WizardParaStore, SignalNamesFromFileOrTextTable)
{
    gaLanStr[301 * 3 + 1] = QStringLiteral("Open");
    gaLanStr[379 * 3 + 1] = QStringLiteral("Shift left");
    setValue("dbIn", "numFailDetect", "2 0 0 0 1 1 1 1");
    WizardPara para;
    para.LoadDatafromFile();
    EXPECT_EQ(gaName[0], QStringLiteral("Shift left"));

    QFile names(QStringLiteral("name.txt"));
    ASSERT_TRUE(names.open(QIODevice::WriteOnly));
    names.write("A\nB\nC\n");
    names.close();
    WizardPara fromFile;
    fromFile.LoadDatafromFile();
    EXPECT_EQ(gaName[0], QStringLiteral("A"));
    EXPECT_EQ(gaName[2], QStringLiteral("C"));
    EXPECT_EQ(gaName[3], QString());
}

TEST(WizardParaText, LongTextsAreCutWithinTheField)
{
    WizardPara para;
    SetParaText(para.net_operator, QString(60, QChar(0x4E2D)), true);  // 180 bytes of UTF-8
    const QString back = ParaText(para.net_operator, true);
    EXPECT_EQ(back, QString(33, QChar(0x4E2D)));
    EXPECT_EQ(para.net_operator[99], '\0');
}

struct StageCase
{
    const char *name;
    int mode, submode, product, semi;
    int gDNum;
    int enable[4];
    int trigger[2];
};

class StageDerivation : public ::testing::TestWithParam<StageCase> {};

TEST_P(StageDerivation, MatchesTheModeTable)
{
    const StageCase &c = GetParam();
    WizardPara para;
    para.work_mode = c.mode;
    para.work_submode = c.submode;
    para.enable_product_detect = c.product;
    para.semi_auto = c.semi;
    para.stage_enable[2] = 7;  // "unchanged" in modes 0 and 3
    para.stage_enable[3] = 7;
    para.DeriveStages();
    EXPECT_EQ(gDNum, c.gDNum);
    EXPECT_EQ(para.stage_count, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(para.stage_enable[i], c.enable[i]) << "stage " << i;
    EXPECT_EQ(para.trigger_input[0], c.trigger[0]);
    EXPECT_EQ(para.trigger_input[1], c.trigger[1]);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, StageDerivation,
    ::testing::Values(
        StageCase{"mode0", 0, 0, 1, 0, 2, {1, 1, 7, 7}, {0, 0}},
        StageCase{"mode0semi", 0, 0, 0, 1, 2, {0, 1, 7, 7}, {0, 2}},
        StageCase{"mode3productAsStored", 3, 0, 5, 0, 2, {5, 1, 7, 7}, {0, 0}},
        StageCase{"mode1sub0", 1, 0, 5, 1, 4, {1, 1, 0, 0}, {0, 2}},
        StageCase{"mode2sub0", 2, 0, 1, 0, 4, {1, 1, 0, 0}, {0, 0}},
        StageCase{"mode2sub0semi", 2, 0, 1, 1, 4, {1, 1, 0, 0}, {0, 2}},
        StageCase{"mode1sub1", 1, 1, 1, 0, 4, {0, 0, 1, 1}, {0, 3}},
        StageCase{"mode2sub1", 2, 1, 0, 0, 4, {0, 0, 0, 1}, {3, 3}},
        StageCase{"mode2sub1semi", 2, 1, 1, 1, 4, {0, 0, 1, 1}, {3, 2}},
        StageCase{"mode1sub2", 1, 2, 1, 0, 4, {1, 1, 1, 1}, {0, 255}},
        StageCase{"mode1sub3", 1, 3, 0, 0, 4, {0, 1, 0, 1}, {0, 255}},
        StageCase{"mode2sub3", 2, 3, 1, 0, 4, {1, 1, 1, 1}, {255, 255}},
        StageCase{"mode2sub2semi", 2, 2, 1, 1, 4, {1, 1, 1, 1}, {255, 2}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(StageDerivationMode0, StopPulseWordsFollowTheAlarmOptions)
{
    const struct { int stopNotAlarm, noAlarmPulse, expected; } rows[] = {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}};
    for (const auto &r : rows) {
        WizardPara para;
        para.enable_stop_not_alarm = r.stopNotAlarm;
        para.no_alarm_pulse = r.noAlarmPulse;
        para.DeriveStages();
        for (int w = 80; w <= 83; ++w)
            EXPECT_EQ(para.word(w), r.expected);
    }
}

TEST(StageDerivationMode4, SourcesDecideActiveStagesAndTriggers)
{
    WizardPara para;
    para.work_mode = 4;
    para.custom_stage_count = 3;
    para.enable_product_detect = 0;
    const int sources[8] = {0, -1, 2, 5, 5, 5, 5, 5};
    std::copy(std::begin(sources), std::end(sources), para.custom_stage_source);
    para.trigger_source_input[0] = 0;
    para.trigger_source_input[2] = 3;  // table row 3 is input 5
    int calls = 0;
    WizardPara::onCustomStagesDerived = [&calls](WizardPara &) { ++calls; };
    para.DeriveStages();
    WizardPara::onCustomStagesDerived = nullptr;
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(gDNum, 3);
    EXPECT_EQ(para.stage_count, 3);
    EXPECT_EQ(para.stage_enable[0], 0) << "stage 0 needs product detection";
    EXPECT_EQ(para.stage_enable[1], 0);
    EXPECT_EQ(para.stage_enable[2], 1);
    EXPECT_EQ(para.trigger_input[2], 4);
    EXPECT_EQ(para.trigger_input[0], -1);
    EXPECT_EQ(para.stage_source[2], 2);
    for (int i = 3; i < 8; ++i) {
        EXPECT_EQ(para.stage_enable[i], 0);
        EXPECT_EQ(para.trigger_input[i], -1);
    }

    para.enable_product_detect = 1;
    para.custom_stage_source[1] = 9;  // outside the source table: no trigger rather than a wild read
    para.DeriveStages();
    EXPECT_EQ(para.stage_enable[0], 1);
    EXPECT_EQ(para.trigger_input[0], 0);
    EXPECT_EQ(para.stage_enable[1], 0);
}
