// The bodies of the messages to the relay, and the service's local records (manual stop,
// reminders) with their files under ./cnt_net/data/.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

class CammerSingleton;
class WizardPara;

// The detection state as the messages name it.
enum class RunState { Detecting, Training, Stopped };

// The open or last stop of checking (type 10), mirrored in ./cnt_net/data/ManualStop.
struct CNT_Path_ManualStop
{
    qint64 utc = 0;
    QString stop_check_timeslot;
    qint64 stop_check_timelen = 0;
    qint64 timeout_time = 0;
    QString operator_id;
    QString disalarm_operator_id;
    QString stop_check_reason;
    bool valid = false;
};

// One reminder (types 12 and 13), kept only in ./cnt_net/data/Remind.
struct CNT_Path_Remind
{
    qint64 utc = 0;
    qint64 notification_utc = 0;
    qint64 duration = 3600000;
    QString description;
    QString operator_id;
};

namespace NetMessages {

// Files the service reads are read whole up to this size; a larger one counts as damaged.
constexpr qint64 kMaxFileBytes = 1 << 20;

const char *RunStateText(RunState state);
// "method" of type 20 by the release code of the alarm; empty for an unknown code.
const char *ReleaseMethod(int code);

QByteArray RecordBody(const QString &host, const QString &user, const QDateTime &time, const QString &text);
// The parameter report; the password member is sent empty, the station's password stays home.
QByteArray ParamBody(const QString &host, const WizardPara &para, const int allCount[8], const int failCount[8],
                     const char serials[8][100]);
QByteArray ROIParamBody(const QString &host, const CammerSingleton &regions, int detection);
QByteArray DelTempPicBody(const QString &host, int camera, int detection, const QString &name, qint64 utc,
                          const QString &user);
// Updates the record for a stop (stopped) or a restart at `now`, and gives the type-10 body.
QByteArray ManualStopBody(const QString &host, CNT_Path_ManualStop &stop, bool stopped, RunState state,
                          const QDateTime &now, const QString &user);
QByteArray RemindBody(const QString &host, const CNT_Path_Remind &remind);
QByteArray DelRemindBody(const QString &host, qint64 utc);
QByteArray NgVideoBody(const QString &host, int camera, const QString &product, int isng);
QByteArray TelInfoBody(const QString &host, int stage, int count, const QString &name, const QString &number);
QByteArray RunStateBody(const QString &host, RunState state, qint64 utc);
QByteArray CancelBody(const QString &host, qint64 bindUtc, qint64 utc, int releaseCode, const QString &user);

// ./cnt_net/data/ManualStop: loads the record. A file with a member missing is deleted (the record
// stays invalid); one that is not JSON or too large is set aside as "<name>.bad-<time>".
CNT_Path_ManualStop LoadManualStop(const QString &path);
// Reminders: added to or removed from the "remind" array, the file written whole or not at all.
bool AddRemind(const QString &path, const QByteArray &remindJson);
bool DeleteRemind(const QString &path, qint64 utc);
// Writes a file whole or not at all.
bool WriteWhole(const QString &path, const QByteArray &bytes);
// Reads a file whole up to kMaxFileBytes; false when it is missing, unreadable or larger.
bool ReadWhole(const QString &path, QByteArray *bytes);
// Keeps a damaged file for the service staff as "<name>.bad-<time>" (logged).
void SetAside(const QString &path);

}  // namespace NetMessages
