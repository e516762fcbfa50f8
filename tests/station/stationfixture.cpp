#include "tests/station/stationfixture.h"

#include "app/wiring.h"

#include "tests/support/stationboard.h"

#include "core/globals.h"
#include "ui/prompt.h"
#include "app/startupdb.h"
#include "app/stationcameras.h"
#include "core/systemgateway.h"
#include "core/texttable.h"
#include "ui/cammerwidget.h"
#include "ui/warnbox.h"
#include "io/controlport.h"
#include "log/operationrecord.h"
#include "vision/cammersingleton.h"
#include "vision/lib/checkrange.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>

const QRect StationScenario::kFault(60, 40, 24, 24);

namespace {

constexpr int kFaultGray = 250;

QString cameraFolder(int camera)
{
    return QDir(StationScenario::cameraDir()).filePath(QStringLiteral("cam%1").arg(camera + 1));
}

// Writes the frame beside the camera's frame file and renames it over it, so the camera never
// reads half a file.
void writeFrame(int camera, bool fault)
{
    cv::Mat frame(StationScenario::kH, StationScenario::kW, CV_8UC1, cv::Scalar(StationScenario::kBackground));
    if (fault) {
        const QRect &r = StationScenario::kFault;
        frame(cv::Rect(r.x(), r.y(), r.width(), r.height())).setTo(kFaultGray);
    }
    const QString folder = cameraFolder(camera);
    QDir().mkpath(folder);
    QFile serial(folder + QStringLiteral("/serial"));
    if (!serial.exists() && serial.open(QIODevice::WriteOnly))
        serial.write(QStringLiteral("SIMCAM%1\n").arg(camera + 1, 4, 10, QLatin1Char('0')).toLatin1());
    const QByteArray next = QFile::encodeName(folder + QStringLiteral("/next.png"));
    ASSERT_TRUE(cv::imwrite(next.toStdString(), frame));
    ASSERT_EQ(std::rename(next.constData(), QFile::encodeName(folder + QStringLiteral("/frame.png")).constData()), 0);
}

}  // namespace

IoBoardSim &StationScenario::board() { return StationBoard(); }

QString StationScenario::cameraDir()
{
    // Made before the station first probes the cameras, so it goes after the folder cameras at exit.
    static QTemporaryDir dir;
    static const bool announced = qputenv("MOULD_SIM_CAMERAS", QFile::encodeName(dir.path()));
    Q_UNUSED(announced);
    return dir.path();
}

void StationScenario::SetUp()
{
    ASSERT_TRUE(m_station.isValid());
    board().setSilent(false);
    board().setInputs(0);
    board().setOutputs(0);
    cameraDir();
    FillTextTable();
    gLan = 1;
    for (int slot = 0; slot < 8; ++slot)
        gContinuousNg[slot] = 0;
    SystemGateway::clearRecorded();
    StationWiring::InstallOperatorPort();
    SystemGateway::setRestartHandler([] {});
    Prompt::SetAnswerer([](const Prompt::Asked &) -> QVariant { return 1; });
    WarnBox::setAnswerer([this](const WarnBox &box) {
        return qobject_cast<const ChooseBox *>(&box) ? chooseAnswer : int(QDialog::Accepted);
    });
    for (int c = 0; c < kCameras; ++c)
        writeFrame(c, false);
    setParams([](WizardPara &p) {
        p.input_hold_time = 0;
        p.trigInDelay[0] = 1;
        p.trigInDelay[1] = 2;
        p.front_auto_check_time = 0;
        p.input_timeout_len = 0;
        p.ok_record_max_num = 0;
    });
}

void StationScenario::TearDown()
{
    shutDown();
    SystemGateway::setRestartHandler(nullptr);
    Prompt::SetAnswerer(nullptr);
    WarnBox::setAnswerer(nullptr);
    board().setSilent(false);
    board().setInputs(0);
    // The next test starts with every camera plugged.
    for (int c = 0; c < kCameras; ++c)
        if (!QFileInfo::exists(cameraFolder(c) + QStringLiteral("/frame.png")))
            writeFrame(c, false);
}

void StationScenario::setParams(const std::function<void(WizardPara &)> &edit)
{
    ASSERT_FALSE(m_window) << "parameters are set before the station starts";
    ASSERT_TRUE(OpenStationDatabases());
    {
        WizardPara para;
        para.LoadDatafromFile();
        edit(para);
        para.work_mode_next = para.work_mode;
        EXPECT_TRUE(para.SaveDatatoFile());
    }
    CloseStationDatabases();
}

void StationScenario::teachFault(int camera, int detection, int outputGroup)
{
    ASSERT_FALSE(m_window) << "regions are taught before the station starts";
    gImageW = kW;
    gImageH = kH;
    SetImageSize(kW, kH);
    ASSERT_TRUE(OpenStationDatabases());
    {
        CammerSingleton regions(camera);
        regions.LoadDatafromFile(nullptr);
        const int i = regions.roiNum[detection]++;
        regions.SetDefaultRegion(detection, i);
        regions.roiFunc[detection][i] = FuncWhiteArea;
        regions.roiPara2[detection][i] = 200;  // bright: gray 200 and above
        regions.roiPara3[detection][i] = 30;   // more bright pixels than this fail
        regions.roiOut[i] = outputGroup;
        const QRect around = kFault.adjusted(-10, -10, 10, 10);
        regions.rect[detection][i].setCorners(around.left(), around.top(), around.right(), around.bottom());
        EXPECT_TRUE(regions.SaveDatatoFile());
    }
    CloseStationDatabases();
}

void StationScenario::start()
{
    ASSERT_FALSE(HasFatalFailure()) << "parameters or regions could not be set";
    ASSERT_FALSE(m_window);
    m_window = std::make_unique<MoJuWizard>();
    ASSERT_TRUE(m_window->isUp());
    ASSERT_EQ(numCamera, kCameras);
    takeOutputSense(*gpWPara);
    // Up means: the board drives what the station publishes, and every camera view holds a frame.
    ASSERT_TRUE(waitUntil([] { return (board().outputs() & 0x1FF) == (gpControlIO->publishedWord() & 0x1FF); }, 3000))
        << "the board does not follow the station";
    ASSERT_TRUE(waitUntil([this] {
        for (int c = 0; c < kCameras; ++c) {
            CammerWidget *view = m_window->cameras()->view(c);
            if (!view || view->workingImage()[0] != kBackground)
                return false;
        }
        return true;
    }, 3000)) << "no frames from the simulated cameras";
}

void StationScenario::takeOutputSense(const WizardPara &para)
{
    m_inverted = 0;
    for (int k = 0; k < 9; ++k)
        if (para.output_level[k] != 0)
            m_inverted |= 1u << k;
}

void StationScenario::startProcess()
{
    ASSERT_FALSE(m_window) << "one station at a time";
    ASSERT_TRUE(OpenStationDatabases());
    {
        WizardPara para;
        para.LoadDatafromFile();
        takeOutputSense(para);
    }
    CloseStationDatabases();
    m_process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("MOULD_AUTO_CONFIRM"), QStringLiteral("1"));
    m_process->setProcessEnvironment(env);
    m_process->setWorkingDirectory(m_station.path());
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->start(m_station.file(QStringLiteral("mould-station")), {});
    ASSERT_TRUE(m_process->waitForStarted());
    QByteArray output;
    QElapsedTimer elapsed;
    elapsed.start();
    while (!output.contains("system ready") && elapsed.elapsed() < 20000 && m_process->state() == QProcess::Running) {
        m_process->waitForReadyRead(50);
        output += m_process->readAll();
    }
    ASSERT_TRUE(output.contains("system ready")) << output.constData();
}

double StationScenario::endProcess(int signal)
{
    if (!m_process)
        return -1;
    QElapsedTimer elapsed;
    elapsed.start();
    ::kill(static_cast<pid_t>(m_process->processId()), signal);
    const bool ended = m_process->waitForFinished(10000);
    const double ms = elapsed.nsecsElapsed() / 1e6;
    if (!ended) {
        ADD_FAILURE() << "the station did not end within 10 s of signal " << signal;
        m_process->kill();
        m_process->waitForFinished();
    }
    m_process.reset();
    return ms;
}

void StationScenario::restart()
{
    shutDown();
    start();
}

void StationScenario::shutDown()
{
    if (m_process)
        endProcess(SIGKILL);
    m_window.reset();
    CloseStationDatabases();
}

void StationScenario::showFrame(int camera, bool fault, bool wait)
{
    writeFrame(camera, fault);
    if (!wait || !m_window)
        return;
    const int at = (kFault.center().y()) * kW + kFault.center().x();
    const int want = fault ? kFaultGray : kBackground;
    ASSERT_TRUE(waitUntil([&] {
        CammerWidget *view = m_window->cameras()->view(camera);
        return view && view->workingImage()[at] == want;
    }, 3000)) << "camera " << camera + 1 << " did not deliver the new frame";
}

void StationScenario::unplug(int camera)
{
    ASSERT_TRUE(QDir(cameraFolder(camera)).removeRecursively());
}

void StationScenario::plugBack(int camera, bool fault)
{
    writeFrame(camera, fault);
}

void StationScenario::setInput(int input, bool on)
{
    board().setInput(input - 1, on);
    m_lastInput = board().lastInputChange();
    // A short level is only an edge once the cycle has sampled it; on a loaded machine the link's
    // poll can take longer than a test's pause. The input word is read again for every input of a
    // tick, so a few more ticks make sure this input's own sample saw it. (Not while the cycle
    // waits for a lost camera.)
    if (m_window && gpControlIO
        && waitUntil([&] { return ((gpControlIO->inputWord() >> (input - 1)) & 1u) == (on ? 1u : 0u); }, 500))
        settle(10);
}

void StationScenario::pulse(int input, int ms)
{
    setInput(input, true);
    settle(ms);
    setInput(input, false);
}

bool StationScenario::output(int output) const
{
    const unsigned logical = board().outputs() ^ m_inverted;
    return (logical >> (output - 1)) & 1u;
}

bool StationScenario::waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (condition())
            return true;
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::usleep(300);
    }
}

bool StationScenario::waitOutput(int out, bool on, int timeoutMs)
{
    return waitUntil([&] { return output(out) == on; }, timeoutMs);
}

void StationScenario::settle(int ms)
{
    waitUntil([] { return false; }, ms);
}

double StationScenario::msToOutput(int out, bool on, Clock::time_point since, int nth) const
{
    const unsigned bit = 1u << (out - 1);
    for (const IoBoardSim::OutputChange &change : board().outputHistory()) {
        if (change.when < since)
            continue;
        const bool before = ((change.before ^ m_inverted) & bit) != 0;
        const bool after = ((change.after ^ m_inverted) & bit) != 0;
        if (before != after && after == on && --nth == 0)
            return std::chrono::duration<double, std::milli>(change.when - since).count();
    }
    return -1;
}

int StationScenario::pulsesOf(int out, Clock::time_point since) const
{
    const unsigned bit = 1u << (out - 1);
    int count = 0;
    for (const IoBoardSim::OutputChange &change : board().outputHistory())
        if (change.when >= since && !((change.before ^ m_inverted) & bit) && ((change.after ^ m_inverted) & bit))
            ++count;
    return count;
}

QStringList StationScenario::records()
{
    QStringList rows;
    OperationRecord *record = m_window ? m_window->operationRecord() : nullptr;
    if (!record)
        return rows;
    record->Flush();
    QSqlQuery query(record->Connection());
    if (query.exec(QStringLiteral("select remarks from RECORD order by rowid")))
        while (query.next())
            rows << query.value(0).toString();
    return rows;
}

QString StationScenario::readFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
