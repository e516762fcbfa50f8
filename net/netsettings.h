// The network screen's rules: the relay's server settings in sysconf.db, the Wi-Fi file, the
// relay's product and reminder lists, the link check and the reset of the network statistics.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace NetSettings {

// ---- The plant server, rows of info_sysconf in ./cnt_net/sysconf.db ----

constexpr const char *kSysconfFile = "./cnt_net/sysconf.db";

struct Server
{
    QString infoIp, infoPort, fileIp, filePort;
};

enum class DbResult { Ok, Missing, OpenFailed, InvalidAddress, InvalidPort };

// A dotted IPv4 address of a reachable host (not 0.0.0.0 nor 255.255.255.255), written back
// without leading zeros; empty when the text is not one.
QString NormalAddress(const QString &text);
// A port 1..65535 in decimal digits.
bool ValidPort(const QString &text);

// Reads the four rows; a row that is missing leaves its field as it was. *error gets the
// database's text when it cannot be opened or read.
DbResult ReadServer(const QString &path, Server *server, QString *error);
// Checks the four values, then updates each row that exists with its value bound, in one
// transaction. Nothing is written when a value is refused; *bad names it.
DbResult WriteServer(const QString &path, const Server &server, QString *error, QString *bad = nullptr);

// ---- Wi-Fi ----

constexpr const char *kWifiFile = "./cnt_net/wlanpwd.conf";
constexpr const char *kWifiInstalled = "/etc/wpa_supplicant/wlanpwd.conf";
constexpr const char *kWifiSystemDir = "/etc/wpa_supplicant/";

enum class WifiFault { None, Ssid, Psk };

// The name: 1 to 32 bytes of Latin-1 without quotes or control characters. The password: 8 to 63
// printable ASCII characters without quotes. Either would otherwise end or break the quoted value.
WifiFault CheckWifi(const QString &ssid, const QString &psk);
// The file's text (Latin-1, CRLF lines).
QByteArray WifiConfText(const QString &ssid, const QString &psk);
// The first ssid="..." and psk="..." of a configuration text.
void ParseWifiConf(const QByteArray &text, QString *ssid, QString *psk);
// Writes the file whole (QSaveFile) and copies it into the system's folder through the system
// gateway. False when the values are refused, the file cannot be written or the copy failed.
bool SaveWifi(const QString &ssid, const QString &psk, const QString &file = QString::fromLatin1(kWifiFile));

// ---- The relay's lists (replies to types 14 and 17) ----

constexpr int kMaxListItems = 500;  // a longer list is cut here

// The names of "result"; nothing when the body does not parse, lacks the array or an element
// lacks a textual "product_name".
std::optional<QStringList> ParseProductList(const QByteArray &body);
// The combo box's entries: the name shown now first (once), then the received names in order.
QStringList ProductChoices(const QString &current, const QStringList &received);

struct Reminder
{
    QString operatorName, created, notify, duration, name;
};
// The rows of "result", up to the first element that lacks a member or has one of the wrong
// type; nothing when the body does not parse or lacks the array. Times are shown local.
std::optional<QList<Reminder>> ParseRemindList(const QByteArray &body);

// ---- Link check ----

// Interface -> bytes received, from the text of /proc/net/dev.
QMap<QString, qint64> ReceivedBytes(const QByteArray &procNetDev);
// True when the interface is up and has its link (IFF_RUNNING in <sysNet>/<name>/flags).
bool InterfaceRunning(const QString &name, const QString &sysNet = QStringLiteral("/sys/class/net"));

// ---- Statistics reset ----

// Removes the network statistics, the manual-stop record and the folders of pictures waiting for
// the relay, under the station folder `root`.
void ResetStatistics(const QString &root = QStringLiteral("."));

}  // namespace NetSettings
