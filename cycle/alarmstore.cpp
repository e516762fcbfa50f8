#include "cycle/alarmstore.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtDebug>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace AlarmStore {
namespace {

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        left -= n;
    }
    return true;
}

bool syncDirectory(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

bool Write(const std::optional<StoredAlarm> &alarm, const QString &path)
{
    QJsonObject record;
    record[QStringLiteral("alarm")] = alarm.has_value();
    if (alarm) {
        record[QStringLiteral("stage")] = alarm->stage;
        QJsonArray cameras;
        for (int cam = 0; cam < 32; ++cam)
            if ((alarm->cameras >> cam) & 1u)
                cameras.append(cam + 1);
        record[QStringLiteral("cameras")] = cameras;
        record[QStringLiteral("since")] = alarm->since.toString(Qt::ISODateWithMs);
    } else {
        record[QStringLiteral("cleared")] = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    }
    const QByteArray bytes = QJsonDocument(record).toJson();

    const QString temp = path + QStringLiteral(".new");
    const QByteArray tempName = QFile::encodeName(temp);
    const int fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    if (fd >= 0)
        ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(tempName.constData(), QFile::encodeName(path).constData()) == 0;
    ok = ok && syncDirectory(QFileInfo(path).absolutePath());
    if (!ok) {
        qCritical().noquote() << "alarm state could not be written to" << path << "-" << std::strerror(errno);
        ::unlink(tempName.constData());
    }
    return ok;
}

std::optional<StoredAlarm> Read(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document =
        file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll(), &error) : QJsonDocument();
    const QJsonObject record = document.object();
    if (document.isNull() || !record.value(QStringLiteral("alarm")).isBool()) {
        qCritical().noquote() << "alarm state in" << path << "cannot be read; an alarm is taken to stand";
        return StoredAlarm{};
    }
    if (!record.value(QStringLiteral("alarm")).toBool())
        return std::nullopt;
    StoredAlarm alarm;
    alarm.stage = record.value(QStringLiteral("stage")).toInt(StoredAlarm::kUnknownStage);
    for (const QJsonValue camera : record.value(QStringLiteral("cameras")).toArray())
        if (camera.toInt() >= 1 && camera.toInt() <= 32)
            alarm.cameras |= 1u << (camera.toInt() - 1);
    alarm.since = QDateTime::fromString(record.value(QStringLiteral("since")).toString(), Qt::ISODateWithMs);
    return alarm;
}

}  // namespace AlarmStore
