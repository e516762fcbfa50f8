// Entry point of the mould station: brings the process up in order and runs the event loop.
#include "core/globals.h"
#include "ui/stationimages.h"
#include "app/mapplication.h"
#include "app/mojuwizard.h"
#include "core/panel.h"
#include "app/startupdb.h"
#include "core/texttable.h"
#include "app/touchguard.h"
#include "app/wiring.h"
#include "log/glog.h"

#include <glog/logging.h>

#include <QDir>
#include <QMutex>
#include <QSocketNotifier>
#include <QtDebug>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};
bool terminationRequested = false;  // set on the GUI thread when the signal is taken in

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[0], &byte, 1);
}

// SIGTERM and SIGINT end the event loop, so the station closes its databases and threads cleanly.
void watchTerminationSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte;
        [[maybe_unused]] ssize_t n = ::read(signalPipe[1], &byte, 1);
        qInfo("termination requested; the station stops");
        terminationRequested = true;
        app.quit();
    });
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
    watchTerminationSignals(app);

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

    // 8. The network service comes with network reporting.

    // 9. The executable's directory.
    gAppDirPath = QCoreApplication::applicationDirPath();

    // 10. The main window; most of the station comes up inside it. Its ready line also goes to
    //     standard output, for the technician at a terminal and for scripts that wait for it.
    StationWiring::InstallOperatorPort();
    auto *window = new MoJuWizard;
    if (!window->isUp()) {
        qCritical("the station could not come up; see the messages above");
        return 1;
    }
    app.setTouchGuard(window->touchGuard());

    // 11. Network reporting starts here when it is on.

    // 12. Full screen, then the event loop (unless a stop was asked for while the station came up,
    //     for example while a start-up box was waiting for the operator).
    window->showFullScreen();
    const int result = terminationRequested ? 0 : app.exec();
    app.setTouchGuard(nullptr);
    delete window;
    CloseStationDatabases();
    return result;
}
