#include "net/netsettings.h"

#include "core/systemgateway.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace NetSettings {

namespace {

const QString kConnection = QStringLiteral("netsettings_sysconf");

// The rows in the order of Server's fields.
const char *const kRows[4] = {"serverip_info", "serverport_info", "serverip_file", "serverport_file"};

QString *field(Server &server, int i)
{
    QString *fields[4] = {&server.infoIp, &server.infoPort, &server.fileIp, &server.filePort};
    return fields[i];
}

// Runs `work` on the opened database; the connection is removed afterwards.
template <typename Work>
DbResult withDatabase(const QString &path, QString *error, Work work)
{
    if (!QFileInfo::exists(path))
        return DbResult::Missing;  // opening would make an empty database in its place
    DbResult result = DbResult::Ok;
    error->clear();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kConnection);
        db.setDatabaseName(path);
        if (!db.open()) {
            *error = db.lastError().text();
            result = DbResult::OpenFailed;
        } else {
            if (!work(db)) {
                if (error->isEmpty())
                    *error = db.lastError().text();
                result = DbResult::OpenFailed;
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(kConnection);
    return result;
}

}  // namespace

QString NormalAddress(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return {};
    QStringList octets;
    for (int i = 1; i <= 4; ++i) {
        const int octet = match.captured(i).toInt();
        if (octet > 255)
            return {};
        octets << QString::number(octet);
    }
    const QString address = octets.join(QLatin1Char('.'));
    if (address == QLatin1String("0.0.0.0") || address == QLatin1String("255.255.255.255"))
        return {};
    return address;
}

bool ValidPort(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^\\d{1,5}$"));
    const QString port = text.trimmed();
    return digits.match(port).hasMatch() && port.toInt() >= 1 && port.toInt() <= 65535;
}

DbResult ReadServer(const QString &path, Server *server, QString *error)
{
    return withDatabase(path, error, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        auto failed = [&] {
            *error = query.lastError().text();
            return false;
        };
        if (!query.prepare(QStringLiteral("select 值 from info_sysconf where 信息名称=:name")))
            return failed();
        for (int i = 0; i < 4; ++i) {
            query.bindValue(QStringLiteral(":name"), QString::fromLatin1(kRows[i]));
            if (!query.exec())
                return failed();
            if (query.next())
                *field(*server, i) = query.value(0).toString();
        }
        return true;
    });
}

DbResult WriteServer(const QString &path, const Server &server, QString *error, QString *bad)
{
    Server checked = server;
    for (QString *address : {&checked.infoIp, &checked.fileIp}) {
        const QString normal = NormalAddress(*address);
        if (normal.isEmpty()) {
            if (bad)
                *bad = *address;
            return DbResult::InvalidAddress;
        }
        *address = normal;
    }
    for (QString *port : {&checked.infoPort, &checked.filePort}) {
        if (!ValidPort(*port)) {
            if (bad)
                *bad = *port;
            return DbResult::InvalidPort;
        }
        *port = QString::number(port->trimmed().toInt());
    }
    return withDatabase(path, error, [&](QSqlDatabase &db) {
        if (!db.transaction())
            return false;
        QSqlQuery query(db);
        auto failed = [&] {
            *error = query.lastError().text();
            db.rollback();
            return false;
        };
        if (!query.prepare(QStringLiteral("update info_sysconf set 值=:value where 信息名称=:name")))
            return failed();
        for (int i = 0; i < 4; ++i) {
            query.bindValue(QStringLiteral(":value"), *field(checked, i));
            query.bindValue(QStringLiteral(":name"), QString::fromLatin1(kRows[i]));
            if (!query.exec())
                return failed();
        }
        return db.commit();
    });
}

WifiFault CheckWifi(const QString &ssid, const QString &psk)
{
    auto plain = [](QChar c, ushort highest) {
        const ushort u = c.unicode();
        return u >= 0x20 && u != 0x7F && !(u >= 0x80 && u <= 0x9F) && u <= highest && c != QLatin1Char('"');
    };
    if (ssid.isEmpty() || ssid.size() > 32)
        return WifiFault::Ssid;
    for (QChar c : ssid)
        if (!plain(c, 0xFF))
            return WifiFault::Ssid;
    if (psk.size() < 8 || psk.size() > 63)
        return WifiFault::Psk;
    for (QChar c : psk)
        if (!plain(c, 0x7E))
            return WifiFault::Psk;
    return WifiFault::None;
}

QByteArray WifiConfText(const QString &ssid, const QString &psk)
{
    return "network={\r\n\tssid=\"" + ssid.toLatin1() + "\"\r\n\tpsk=\"" + psk.toLatin1()
           + "\"\r\n\tproto=RSN\r\n}\r\n";
}

void ParseWifiConf(const QByteArray &text, QString *ssid, QString *psk)
{
    static const QRegularExpression ssidLine(QStringLiteral("^\\s*ssid=\"(.*)\"\\s*$"));
    static const QRegularExpression pskLine(QStringLiteral("^\\s*psk=\"(.*)\"\\s*$"));
    bool haveSsid = false, havePsk = false;
    for (const QByteArray &raw : text.split('\n')) {
        const QString line = QString::fromLatin1(raw).remove(QLatin1Char('\r'));
        if (!haveSsid) {
            const QRegularExpressionMatch m = ssidLine.match(line);
            if ((haveSsid = m.hasMatch()))
                *ssid = m.captured(1);
        }
        if (!havePsk) {
            const QRegularExpressionMatch m = pskLine.match(line);
            if ((havePsk = m.hasMatch()))
                *psk = m.captured(1);
        }
    }
}

bool SaveWifi(const QString &ssid, const QString &psk, const QString &file)
{
    if (CheckWifi(ssid, psk) != WifiFault::None)
        return false;
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const QByteArray text = WifiConfText(ssid, psk);
    if (out.write(text) != text.size() || !out.commit())
        return false;
    return SystemGateway::run({QStringLiteral("cp"), QStringLiteral("-f"), file,
                               QString::fromLatin1(kWifiSystemDir)}) == 0;
}

std::optional<QStringList> ParseProductList(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue result = document.object().value(QStringLiteral("result"));
    if (!document.isObject() || !result.isArray())
        return std::nullopt;
    QStringList names;
    for (const QJsonValue &element : result.toArray()) {
        const QJsonValue name = element.toObject().value(QStringLiteral("product_name"));
        if (!name.isString())
            return std::nullopt;
        if (names.size() < kMaxListItems)
            names << name.toString();
    }
    return names;
}

QStringList ProductChoices(const QString &current, const QStringList &received)
{
    QStringList choices;
    if (!current.isEmpty())
        choices << current;
    for (const QString &name : received)
        if (name != current)
            choices << name;
    return choices;
}

std::optional<QList<Reminder>> ParseRemindList(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue result = document.object().value(QStringLiteral("result"));
    if (!document.isObject() || !result.isArray())
        return std::nullopt;
    auto localTime = [](const QJsonValue &ms) {
        return QDateTime::fromMSecsSinceEpoch(qint64(ms.toDouble())).toString(QStringLiteral("yy-MM-dd hh:mm:ss"));
    };
    QList<Reminder> rows;
    for (const QJsonValue &element : result.toArray()) {
        if (rows.size() >= kMaxListItems)
            break;
        const QJsonObject o = element.toObject();
        const QJsonValue who = o.value(QStringLiteral("operator")), created = o.value(QStringLiteral("create_utc")),
                         notify = o.value(QStringLiteral("notify_utc")), duration = o.value(QStringLiteral("duration")),
                         name = o.value(QStringLiteral("reminder_name"));
        if (!who.isString() || !created.isDouble() || !notify.isDouble() || !duration.isDouble() || !name.isString())
            break;
        rows.append({who.toString(), localTime(created), localTime(notify),
                     QString::number(qint64(duration.toDouble())), name.toString()});
    }
    return rows;
}

QMap<QString, qint64> ReceivedBytes(const QByteArray &procNetDev)
{
    static const QRegularExpression line(QStringLiteral("^\\s*([^\\s:]+):\\s*(\\d+)"));
    QMap<QString, qint64> received;
    for (const QByteArray &raw : procNetDev.split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromLatin1(raw));
        if (m.hasMatch())
            received.insert(m.captured(1), m.captured(2).toLongLong());
    }
    return received;
}

bool InterfaceRunning(const QString &name, const QString &sysNet)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    QFile flags(sysNet + QLatin1Char('/') + name + QStringLiteral("/flags"));
    if (!flags.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const uint value = QString::fromLatin1(flags.read(32)).trimmed().toUInt(&ok, 16);
    constexpr uint kUp = 0x1, kRunning = 0x40;
    return ok && (value & kUp) && (value & kRunning);
}

void ResetStatistics(const QString &root)
{
    const QDir dir(root);
    QFile::remove(dir.filePath(QStringLiteral("cnt_net/data/Statistics")));
    QFile::remove(dir.filePath(QStringLiteral("cnt_net/data/ManualStop")));
    for (const char *folder : {"cnt_net/cnt_alarmimage", "cnt_net/cnt_tempimage", "cnt_net/cnt_fail"}) {
        const QString path = dir.filePath(QString::fromLatin1(folder));
        if (QFileInfo(path).isSymLink())
            QFile::remove(path);  // the link goes, not what it points to
        else
            QDir(path).removeRecursively();
    }
}

}  // namespace NetSettings
