#include "core/systemgateway.h"

#include <QCoreApplication>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QtDebug>

#include <unistd.h>
#include <vector>

namespace SystemGateway {
namespace {

QMutex recordMutex;
QStringList recordedLines;
std::function<void()> restartHandler;
std::function<void()> powerOffHandler;

void record(const QStringList &argv)
{
    const QString line = argv.join(QLatin1Char(' '));
    {
        QMutexLocker lock(&recordMutex);
        recordedLines << line;
    }
    const QByteArray path = qgetenv("MOULD_GATEWAY_RECORD");
    if (!path.isEmpty()) {
        QFile file(QString::fromLocal8Bit(path));
        if (file.open(QIODevice::WriteOnly | QIODevice::Append))
            file.write(line.toUtf8() + '\n');
    }
    if (isPanelBuild())
        qDebug().noquote() << "host command:" << line;
    else
        qWarning().noquote() << "host command not executed (not a panel build):" << line;
}

// Replaces this process by a fresh start of the same executable in the same directory.
void restartInPlace()
{
    const QByteArray exe = QCoreApplication::applicationFilePath().toLocal8Bit();
    std::vector<char *> args{const_cast<char *>(exe.constData()), nullptr};
    ::execv(exe.constData(), args.data());
    qCritical("restart of the station failed; ending the process");
    ::_exit(1);
}

}  // namespace

bool isPanelBuild()
{
#ifdef MOULD_PANEL
    return true;
#else
    return false;
#endif
}

int run(const QStringList &argv, QByteArray *output)
{
    if (argv.isEmpty())
        return -1;
    record(argv);
    if (!isPanelBuild())
        return 0;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(argv.first(), argv.mid(1));
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void reboot()
{
    run({QStringLiteral("reboot")});
    if (restartHandler) {
        restartHandler();
        return;
    }
    if (!isPanelBuild())
        restartInPlace();
}

void powerOff()
{
    run({QStringLiteral("init"), QStringLiteral("0")});
    if (powerOffHandler) {
        powerOffHandler();
        return;
    }
    if (!isPanelBuild())
        ::_exit(0);
}

QStringList recorded()
{
    QMutexLocker lock(&recordMutex);
    return recordedLines;
}

void clearRecorded()
{
    QMutexLocker lock(&recordMutex);
    recordedLines.clear();
}

void setRestartHandler(std::function<void()> handler) { restartHandler = std::move(handler); }
void setPowerOffHandler(std::function<void()> handler) { powerOffHandler = std::move(handler); }

}  // namespace SystemGateway
