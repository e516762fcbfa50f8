#include "log/glog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <glog/logging.h>

GLog *gGlog = nullptr;

GLog::GLog(const std::string &dir, char **argv, QObject *parent)
    : QObject(parent)
{
    if (!QDir().mkpath(QString::fromStdString(dir)))
        qWarning().noquote() << "diagnostic log: cannot create" << QString::fromStdString(dir);
    FLAGS_log_dir = dir;
    FLAGS_logbufsecs = 0;           // every line reaches the file at once
    FLAGS_max_log_size = 100;       // MB per file before glog starts a new one
    FLAGS_stop_logging_if_full_disk = true;
    FLAGS_logtostderr = false;
    google::SetLogFilenameExtension("log");

    // Prune before glog opens its files, so the new run's files are never the ones removed.
    PruneDirectory(QString::fromStdString(dir));

    const char *programName = (argv && argv[0]) ? argv[0] : "mould-station";
    if (!google::IsGoogleLoggingInitialized())
        google::InitGoogleLogging(programName);
    // glog names a file by program, second and process id, and never opens one that exists. A
    // restart in place keeps the process id and may fall in the same second, so each start names
    // its files with a run tag of its own.
    const std::string base = RunBaseName(QString::fromStdString(dir), QFileInfo(QString::fromLocal8Bit(programName)).fileName())
                                 .toStdString();
    for (int severity = 0; severity < google::NUM_SEVERITIES; ++severity)
        google::SetLogDestination(severity, (base + google::GetLogSeverityName(severity) + '.').c_str());
    google::InstallFailureSignalHandler();
    google::InstallFailureWriter(&GLog::SignalHandle);
}

GLog::~GLog()
{
    if (google::IsGoogleLoggingInitialized())
        google::ShutdownGoogleLogging();
    if (gGlog == this)
        gGlog = nullptr;
}

QString GLog::RunBaseName(const QString &dir, const QString &program)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmsszzz"));
    QString tag = stamp;
    const QDir folder(dir);
    for (int n = 1; !folder.entryList({program + '.' + tag + ".*"}, QDir::Files | QDir::System).isEmpty(); ++n)
        tag = stamp + '-' + QString::number(n);
    return folder.filePath(program + '.' + tag + '.');
}

int GLog::PruneDirectory(const QString &dir, int limit)
{
    // Newest first, so the oldest files sit at the end of the list.
    QFileInfoList files = QDir(dir).entryInfoList(QStringList{QStringLiteral("*")}, QDir::Files, QDir::Time);
    int deleted = 0;
    while (!files.isEmpty() && files.size() >= limit) {
        const QFileInfo oldest = files.takeLast();
        if (QFile::remove(oldest.absoluteFilePath()))
            ++deleted;
        else
            qWarning().noquote() << "diagnostic log: cannot delete old file" << oldest.absoluteFilePath();
    }
    return deleted;
}

void GLog::SignalHandle(const char *data, std::size_t size)
{
    std::string piece(data, size);
    while (!piece.empty() && piece.back() == '\n')
        piece.pop_back();
    google::LogMessage("network", 89, google::GLOG_INFO).stream() << piece;
}
