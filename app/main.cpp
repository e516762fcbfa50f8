// Entry point of the mould station: brings the process up in order and runs the event loop.
#include "core/globals.h"
#include "core/memorytrim.h"
#include "ui/stationimages.h"
#include "app/mapplication.h"
#include "app/mojuwizard.h"
#include "core/panel.h"
#include "app/startupdb.h"
#include "core/texttable.h"
#include "app/touchguard.h"
#include "app/wiring.h"
#include "io/iothread.h"
#include "log/glog.h"
#include "log/operationrecord.h"
#include "net/network.h"
#include "params/wizardpara.h"

#include <glog/logging.h>

#include <QDir>
#include <QMutex>
#include <QThread>
#include <QtDebug>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// "The network port %1 could not be opened: %2".
constexpr int kRowNetPortClosed = 1280;

// How long a stop request may take: the orderly way out, or failing that the quick one.
constexpr auto kStopDeadline = std::chrono::milliseconds(800);

int signalPipe[2] = {-1, -1};
std::atomic<bool> terminationRequested{false};
bool mainLoopRunning = false;  // app.exec() runs (GUI thread only)

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[0], &byte, 1);
}

// Ends the process now, from the GUI thread: the board keeps the outputs it last got, the
// operation record and the databases are closed, the logs flushed. For a stop request that finds
// the GUI thread inside a box or still bringing the station up, where returning would run on into
// code that was waiting for the operator.
[[noreturn]] void endNow()
{
    FreezeBoardOutputs();
    if (gpWin && gpWin->operationRecord())
        gpWin->operationRecord()->Flush();
    CloseStationDatabases();
    NetShare::RemoveAllNow();
    qInfo("the station ends at once; the board keeps its outputs");
    google::FlushLogFiles(google::GLOG_INFO);
    std::fflush(nullptr);
    ::_exit(0);
}

void stopOnGuiThread()
{
    qInfo("termination requested; the station stops");
    // Only the event loop of main() may simply end: its window and threads then go in order.
    if (mainLoopRunning && QThread::currentThread()->loopLevel() == 1) {
        QCoreApplication::exit(0);
        return;
    }
    endNow();
}

// SIGTERM and SIGINT stop the station within a second whatever box is open. A thread of its own
// takes the signal in, so that a GUI thread busy or waiting in a box cannot delay it: the board's
// outputs are frozen at once (they stay as the board last got them, held), the GUI thread is asked
// to stop, and if the process still runs at the deadline it ends from here.
void watchTerminationSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    std::thread([] {
        char byte;
        for (;;) {
            const ssize_t n = ::read(signalPipe[1], &byte, 1);
            if (n == 1)
                break;
            if (n < 0 && errno == EINTR)
                continue;
            return;  // the pipe is gone: no stop request can come any more
        }
        terminationRequested = true;
        FreezeBoardOutputs();
        QMetaObject::invokeMethod(qApp, &stopOnGuiThread, Qt::QueuedConnection);
        std::this_thread::sleep_for(kStopDeadline);
        std::fprintf(stderr, "the station did not stop in time; it ends now, the board keeps its outputs\n");
        NetShare::RemoveAllNow();  // no shared picture outlives the station
        google::FlushLogFiles(google::GLOG_INFO);
        std::fflush(nullptr);
        ::_exit(0);
    }).detach();
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char **argv)
{
    // 1. Lamps and backlight.
    OpenLampDevice();

    // 2. The application object (3: UTF-8 is Qt's default).
    MApplication app(argc, argv);

    // 4. Diagnostic log directory.
    QDir().mkpath(QStringLiteral("./cnt_net/cnt_log_app/"));
    gGlog = new GLog("./cnt_net/cnt_log_app/", argv, &app);
    LOG(INFO) << "2.5.0" << " release";
    // After the diagnostic log, whose crash handler would otherwise take SIGTERM for a crash.
    watchTerminationSignals();

    // 5. Shared mutexes.
    pMutexIO = new QMutex;
    pMutexSaveFail = new QMutex;
    for (int i = 0; i < 8; ++i) {
        pMutex[i] = new QMutex;
        isImageFill[i] = false;
    }

    // 6, 7. Text table and images.
    FillTextTable();
    LoadStationImages();

    // 8. The network service; it listens only when network reporting ('CntNet') is on.
    gpNet = new CNT_Net;

    // 9. The executable's directory.
    gAppDirPath = QCoreApplication::applicationDirPath();

    // 10. The main window; most of the station comes up inside it. Its ready line also goes to
    //     standard output, for the technician at a terminal and for scripts that wait for it.
    StationWiring::InstallOperatorPort();
    StationWiring::InstallCameraAddressRepair();
    auto *window = new MoJuWizard;
    if (!window->isUp()) {
        qCritical("the station could not come up; see the messages above");
        return 1;
    }
    app.setTouchGuard(window->touchGuard());

    // 11. Network reporting: its senders, then the relay.
    if (gpWPara->net_report && gpNet->isEnabled()) {
        StationWiring::InstallNetwork(*window);
        if (!gpNet->listenError().isEmpty())
            window->InsertRecord(LanStr(kRowNetPortClosed).arg(NetOptions().port).arg(gpNet->listenError()));
        gpNet->CNT_FirstInit();
        CNT_Net::CNT_ReStart();
        LOG(INFO) << "(start init) 'NetClinet' will restart...";
    }

    // 12. Full screen, then the event loop (unless a stop was asked for while the station came up,
    //     for example while a start-up box was waiting for the operator).
    window->showFullScreen();
    mainLoopRunning = true;
    int result = 0;
    if (!terminationRequested) {
        const MemoryTrim trim;  // free heap pages back to the system while the station runs
        result = app.exec();
    }
    mainLoopRunning = false;
    app.setTouchGuard(nullptr);
    delete window;
    delete gpNet;  // stops the relay
    gpNet = nullptr;
    CloseStationDatabases();
    return result;
}
