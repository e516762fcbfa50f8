// The detection alarm kept on disk, so that a station that restarts comes up in the alarm that stood.
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// An alarm that stands: the stage whose re-check clears it, the cameras that failed, and since when.
struct StoredAlarm
{
    static constexpr int kUnknownStage = -1;  // the file could not be read: the stage is not known

    int stage = kUnknownStage;
    unsigned cameras = 0;  // bit per failed camera
    QDateTime since;
};

namespace AlarmStore {

// In the station directory, beside the counters.
inline constexpr char kFileName[] = "alarmstate.json";

// Records that `alarm` stands, or with nothing that none stands. The file is replaced whole: a new
// file is written and flushed to the disk, renamed over the old one and the directory flushed, so
// a power cut leaves either the old record or the new one. False when it could not be written.
bool Write(const std::optional<StoredAlarm> &alarm, const QString &path = QString::fromLatin1(kFileName));

// The alarm recorded in `path`; nothing when none stands or no record was ever written. A record that
// cannot be read is taken as an alarm of unknown stage: a doubt holds the machine.
std::optional<StoredAlarm> Read(const QString &path = QString::fromLatin1(kFileName));

}  // namespace AlarmStore
