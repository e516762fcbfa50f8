#include "log/logmanager.h"

#include "core/globals.h"
#include "params/wizardpara.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <cstdio>
#include <memory>

LogManager *LogManager::__instance = nullptr;
QString LogManager::__CurTaskPath;
QString LogManager::__CurName;

namespace {

const QString kTimeFormat = QStringLiteral("yyyy/MM/dd-HH:mm:ss.zzz");

// The run's file and the lock around every write. The file object is made by the first line
// written, so a run with the switch off leaves no file behind.
QMutex fileMutex;
std::unique_ptr<QFile> logFile;
bool openFailureShown = false;  // guarded by fileMutex

// A message raised while a line is being written (a file warning of Qt itself) must not come back
// into the handler on the same thread: it would wait for its own lock.
thread_local bool writing = false;

bool MessageLogOn()
{
    return gpWPara && gpWPara->enable_message_log != 0;
}

QChar LevelLetter(QtMsgType type)
{
    switch (type) {
    case QtWarningMsg: return QLatin1Char('W');
    case QtCriticalMsg: return QLatin1Char('E');
    case QtFatalMsg: return QLatin1Char('F');
    default: return QLatin1Char('I');
    }
}

}  // namespace

LogManager::LogManager(QObject *parent)
    : QObject(parent)
{
    Start(QCoreApplication::applicationDirPath() + QStringLiteral("/RECORD/LOG"));
}

LogManager::LogManager(const QString &directory, QObject *parent)
    : QObject(parent)
{
    Start(directory);
}

void LogManager::Start(const QString &directory)
{
    {
        QMutexLocker lock(&fileMutex);
        logFile.reset();
        __CurTaskPath = directory;
        __CurName = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss")) + QStringLiteral("_log.txt");
    }
    if (!QDir(directory).exists() && !QDir().mkpath(directory))
        std::fprintf(stderr, "message log: cannot create %s\n", qPrintable(directory));

    __instance = this;
    m_previousHandler = qInstallMessageHandler(&LogManager::outputMessage);

    // One file goes per start, the oldest, once 50 or more have gathered.
    const QFileInfoList files = QDir(directory).entryInfoList(QStringList{QStringLiteral("*_log.txt")},
                                                              QDir::Files, QDir::Time | QDir::Reversed);
    if (files.size() >= kMaxFiles && !QFile::remove(files.first().absoluteFilePath()))
        qWarning().noquote() << "message log: cannot delete" << files.first().absoluteFilePath();
}

LogManager::~LogManager()
{
    qInstallMessageHandler(m_previousHandler);
    QMutexLocker lock(&fileMutex);
    logFile.reset();
    if (__instance == this)
        __instance = nullptr;
}

LogManager *LogManager::Instance(QObject *parent)
{
    if (!__instance)
        new LogManager(parent);  // registers itself in __instance; owned by `parent` when given
    return __instance;
}

QString LogManager::FormatLine(QtMsgType type, const QDateTime &time, const QString &msg)
{
    return QStringLiteral("[") + LevelLetter(type) + QLatin1Char(' ') + time.toString(kTimeFormat)
         + QStringLiteral("] ") + msg;
}

QString LogManager::CurrentFilePath()
{
    QMutexLocker lock(&fileMutex);
    return __CurTaskPath + QLatin1Char('/') + __CurName;
}

void LogManager::outputMessage(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (!MessageLogOn() || writing)
        return;
    writing = true;
    const QDateTime now = QDateTime::currentDateTime();
    const QByteArray line = (FormatLine(type, now, msg) + QLatin1Char('\n')).toUtf8();

    QMutexLocker lock(&fileMutex);
    if (!logFile)
        logFile = std::make_unique<QFile>(__CurTaskPath + QLatin1Char('/') + __CurName);

    bool opened = logFile->isOpen();
    if (!logFile->exists()) {
        // New file (or deleted under us): start it again with its first line.
        logFile->close();
        opened = logFile->open(QIODevice::WriteOnly | QIODevice::Append);
        if (opened)
            logFile->write((QStringLiteral("create newlog version ") + QLatin1String(kVersion) + QLatin1Char(' ')
                            + now.toString(kTimeFormat) + QLatin1Char('\n')).toUtf8());
    } else if (!opened) {
        opened = logFile->open(QIODevice::WriteOnly | QIODevice::Append);
    }
    if (opened) {
        logFile->write(line);
        logFile->flush();
        openFailureShown = false;
    } else if (!openFailureShown) {
        // The log cannot report on itself; say it once where a service technician may look.
        std::fprintf(stderr, "message log: cannot open %s: %s\n", qPrintable(logFile->fileName()),
                     qPrintable(logFile->errorString()));
        openFailureShown = true;
    }
    writing = false;
}
