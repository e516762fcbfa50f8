#include "app/mojuwizard.h"

#include "core/globals.h"
#include "core/guard.h"
#include "core/operatorport.h"
#include "ui/users/drawuserwidget.h"
#include "ui/cavity/cavitylabel.h"
#include "ui/cavity/editcavitywidget.h"
#include "ui/io/customionamewidget.h"
#include "ui/io/iostatuswidget.h"
#include "ui/io/iowidget.h"
#include "users/loginlevels.h"
#include "users/usermanager.h"
#include "ui/alarmband.h"
#include "ui/regions/drawroiwidget.h"
#include "ui/stationimages.h"
#include "ui/indexpanel.h"
#include "core/panel.h"
#include "ui/prompt.h"
#include "app/stationcameras.h"
#include "app/startupdb.h"
#include "core/systemgateway.h"
#include "app/touchguard.h"
#include "app/wiring.h"
#include "ui/camerastatus.h"
#include "camera/cameraglobals.h"
#include "camera/cameraloss.h"
#include "camera/cameraprobe.h"
#include "ui/cammerwidget.h"
#include "cycle/alarmstore.h"
#include "cycle/inspectioncycle.h"
#include "cycle/failimagestore.h"
#include "ui/warnbox.h"
#include "ui/settings/wizardparawidget.h"
#include "ui/network/hardwareconfigurationwidget.h"
#include "ui/network/othernetwidget.h"
#include "ui/network/widgetchangecamera.h"
#include "ui/widgets/keypads.h"
#include "io/controlport.h"
#include "log/eventrecord.h"
#include "log/logmanager.h"
#include "log/operationrecord.h"
#include "net/network.h"
#include "net/netsettings.h"
#include "params/cavitynames.h"
#include "params/lastgood.h"
#include "params/paragroups.h"
#include "params/wizardpara.h"
#include "records/resstatistics.h"
#include "records/detectcycle.h"
#include "records/usbexport.h"
#include "ui/statistics/detectcyclewidget.h"
#include "ui/statistics/statisticswidget.h"
#include "vision/cameravision.h"
#include "vision/cammerrecong.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSoundEffect>
#include <QSqlDatabase>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QtDebug>
#include <glog/logging.h>

#include <algorithm>
#include <cstdio>

std::function<QDateTime()> MoJuWizard::clock = [] { return QDateTime::currentDateTime(); };

namespace {

constexpr int kRowInitialising = 133;
constexpr int kRowReady = 150;
constexpr int kRowCameraUnavailable = 39;
constexpr int kRowModifyTime = 401;
constexpr int kRowNetworkRestartNeeded = 418;
constexpr int kRowStopManually = 141;
constexpr int kRowStopping = 311;
constexpr int kRowClockError = 1100;          // the box: detection stopped, set the time
constexpr int kRowClockErrorRecord = 1101;    // the record of it
constexpr int kRowClockNotSetRecord = 1102;   // the operator cancelled the time setting
constexpr int kRowLostCameraPowerOff = 1104;
// The button panel's news line: red from a raised alarm on, plain again when it is over.
const QString kStatusAlarmStyle = QStringLiteral("background-color: #b01010; color: white;");
const QString kStatusNormalStyle = QStringLiteral("background-color: #10161d; color: #e8eef4;");
constexpr int kRowUseExternalTrigger = 519;
constexpr int kRowActive = 250;
constexpr int kRowDeactive = 251;
constexpr int kRowCameraParameterError = 0;
constexpr int kRowCamera = 43;
constexpr int kRowProhibitClamp = 252;
constexpr int kRowNotTaught = 1020;
constexpr int kRowRestoredLastGood = 1021;
constexpr int kRowRestoredFactory = 1022;

// The 256-entry gray colour table for showing 8-bit images.
QList<QRgb> grayTable()
{
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i)
        table << qRgb(i, i, i);
    return table;
}

}  // namespace

MoJuWizard::MoJuWizard(QWidget *parent)
    : QWidget(parent)
    , m_login(std::make_unique<LoginLevels>([] { return MoJuWizard::clock(); }))
    , m_touch(std::make_unique<TouchGuard>())
{
    // The station is the whole screen, without a window frame.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    gpWin = this;
    m_up = bringUp();
}

MoJuWizard::~MoJuWizard()
{
    CavityNames::SetButtonHook(nullptr);
    if (qApp)
        qApp->removeEventFilter(this);
    if (m_cycle)
        m_cycle->halt();
    // The station has a deadline to stop; what each part took goes to the log when it was long.
    QElapsedTimer stopping;
    stopping.start();
    auto slow = [&stopping](const char *what) {
        if (const qint64 ms = stopping.restart(); ms > 100)
            qInfo("stopping: %s took %lld ms", what, ms);
    };
    m_failThread.reset();
    slow("the failed images");
    m_cycle.reset();
    slow("the cycle");
    m_cameras.reset();
    slow("the cameras");
    // Hooks that reach into this window go with it.
    WarnBox::onShown = nullptr;
    CameraHooks::clampInterlockOn = nullptr;
    CameraHooks::detectionRunning = nullptr;
    if (gpLostCameraWarnBox)
        gpLostCameraWarnBox->shutDown = nullptr;
    if (gContinuousNgWarnBox)
        gContinuousNgWarnBox->onClosed = nullptr;
    EventRecord::SetSink(nullptr);
    StationWiring::InstallLoginLevels(nullptr);
    m_touch->onLogout = nullptr;
    UserManager::instance().onDenied = nullptr;
    // The IO thread stops with the control port; the outputs stay as last published on the board.
    delete gpControlIO;
    gpControlIO = nullptr;
    m_record.reset();
    if (gpWin == this)
        gpWin = nullptr;
}

bool MoJuWizard::bringUp()
{
    // 0. Nothing runs that cannot ask its operator.
    if (!OperatorPort::installed()) {
        qCritical("no operator port installed: the station does not start");
        return false;
    }

    // 1. The screen is the window.
    if (QScreen *screen = QGuiApplication::primaryScreen())
        resize(screen->size());

    // 2. A pending update runs once.
    runUpdateScript();

    // 3. Touch-calibration, logout and screen-off timers and the warning boxes (the cycle-record
    //    store comes with the records).
    CreateWarnBoxes(nullptr);  // top-level boxes that live as long as the process
    CreateKeypads();           // a touch on a line edit opens the number or the text pad
    WarnBox::onShown = [this] {
        if (IsScreenOff())
            LCDOnOff(1);
        m_touch->restartScreenOff();
    };
    m_touch->onCalibrationArmed = [] { Operator::Warn(370); };
    m_touch->onLogout = [this] { TimerLogout(); };
    m_touch->onCalibrate = [] {
        SystemGateway::run({QStringLiteral("./tsc")});
        QThread::msleep(500);
        CloseStationDatabases();
        SystemGateway::reboot();
    };

    // 4. Databases, restored from the factory copies when damaged.
    if (!OpenStationDatabases())
        return false;
    m_record = std::make_unique<OperationRecord>();
    m_record->SetLevelSource([login = m_login.get()] { return login->level(); });
    // The login levels guard the operator's actions from here on; the station starts logged out.
    StationWiring::InstallLoginLevels(m_login.get());
    UserManager::instance().clock = [] { return MoJuWizard::clock(); };
    UserManager::instance().connectDatabase();
    UserManager::instance().LogOut();
    if (!m_record->Open()) {
        Prompt::Warn(gaLanStr[135 * kLanguages + 1]);
        SystemGateway::reboot();
        return false;
    }

    // 5. The parameter record: live copy loaded, edit copy created.
    gpWPara = new WizardPara;
    gpWPara->LoadDatafromFile();
    gpWParaBak = new WizardPara;
    gpWPara->word170 = 1;

    // 6. The message log (it follows the switch of the parameter record) and this start in it.
    LogManager::Instance(this);
    qInfo("application start");
    EventRecord::SetSink([this](const QString &text) { InsertRecord(text); });
    // After a PARAM.db restore, in the station's language.
    const bool mustBeTaught = reportParameterRestore();

    // 7. Process globals copied from the record.
    copyParameterGlobals();

    // 8. Camera back-end and image geometry.
    gisCut = 1 - (gpWPara->prohibit_optimize != 0 ? 1 : 0);
    gisColor = gpWPara->enable_color_camera != 0;
    gisGrayHue = gpWPara->enable_gray_channel != 0;
    CheckCameraID();
    ComputeImageLengths();

    buildLayout();
    // 9. Tell the operator the station is coming up.
    showInitialising(true);

    // 11. Machine IO: the control port opens the board and starts the IO thread; clamping and
    //     ejection stay prohibited while the station comes up, and an alarm that stood when the
    //     station ended is on from the board's first command (the cycle takes it over).
    const bool alarmStood = AlarmStore::Read().has_value();
    gpControlIO = new ControlPort(ControlPort::Link::Start, alarmStood ? 1u << 2 : 0u);
    setClampInterlock();

    // 12. Gray colour table for 8-bit images.
    static const QList<QRgb> table = grayTable();
    Q_UNUSED(table);

    // 13. Camera views with their cameras, regions, templates and models; the camera-count check.
    createCameraViews();
    // 15. The screens: button panel, zoom buttons, the hosted panels.
    createScreens();

    // 14. The alarm sound.
    m_alarm = new QSoundEffect(this);
    m_alarm->setSource(QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("alarm.wav"))));

    // 16. The cycle and the judged-image thread (the screens of step 15 come with the screens).
    createCycle();
    connectScreens();
    const QStringList missing = StationWiring::MissingHooks(*this);
    if (!missing.isEmpty())
        qCritical().noquote() << "hooks not installed:" << missing.join(QStringLiteral(", "));
    qInfo().noquote() << "extension points still open:" << StationWiring::OpenExtensionPoints(*this).join(QStringLiteral(", "));

    // 17. Record day check (statistics come with the statistics).
    m_record->Start();
    m_dateCheck = new QTimer(this);
    connect(m_dateCheck, &QTimer::timeout, this, &MoJuWizard::SlotCheckDate);
    m_dateCheck->start(60 * 1000);
    // 18. Detection starts, unless the alarm that stood when the station ended stands again (and
    //     unless the teaching is gone or a camera's regions could not be read, below).
    if (alarmRaised()) {
        LEDOnOff(kLampDetecting, 1);
        m_cycle->environment().showAlarmView();
    } else {
        StartDetect();
    }
    if (gpWPara->is_cut_ontime && gpWPara->mold_pulse > 0)
        setClampInterlock();
    const QList<int> tableFailures = m_cameras->regionTableFailures();
    if (mustBeTaught || !tableFailures.isEmpty())
        holdUntaught(mustBeTaught, tableFailures);
    else
        recordUntaught();

    // 19. Ready.
    showInitialising(false);
    const QString ready = LanStr(kRowReady).arg(numCamera);
    qInfo().noquote() << "system ready:" << ready;
    InsertRecord(ready);
    std::fprintf(stdout, "system ready: %d cameras\n", numCamera);
    std::fflush(stdout);
    m_statusLine->setText(ready);

    // 20. Counters, capture speed, the cycle tick, and the screen-off timer.
    m_cycle->CountRead();
    // Judged-image names go on from the last number written before this start.
    m_failThread->counter = m_cycle->saveImageCount;
    m_cycle->start();
    m_touch->restartScreenOff();

    // 21. The clock must not be earlier than the commissioning time.
    checkClock();

    emit systemReady(numCamera);
    return true;
}

void MoJuWizard::runUpdateScript()
{
    if (!QFile::exists(QStringLiteral("update.sh")))
        return;
    SystemGateway::run({QStringLiteral("./update.sh")});
    QThread::msleep(300);
    if (!QFile::remove(QStringLiteral("update.sh")))
        qWarning("update.sh could not be removed");
}

void MoJuWizard::copyParameterGlobals()
{
    gTempNum = gpWPara->max_mold_num;
    // NG/OK image counts, IO port, colour/gray/optimisation switches and the trigger mode are read
    // straight from the record by the parts that use them.
}

void MoJuWizard::buildLayout()
{
    setWindowTitle(QStringLiteral("Mould Station"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x1a, 0x22, 0x2c));
    pal.setColor(QPalette::WindowText, QColor(0xe8, 0xee, 0xf4));
    setPalette(pal);

    // Bottom to top: the camera views, the no-camera notice, the button panel, the panels, the
    // start-up notice. Children are placed by hand (resizeEvent, ChangeCammer).
    m_cameraGrid = new QWidget(this);
    m_cameraGrid->setGeometry(rect());

    m_cameraArea = new QLabel(LanStr(kRowCameraUnavailable), this);
    m_cameraArea->setAlignment(Qt::AlignCenter);
    m_cameraArea->setWordWrap(true);
    QFont big = m_cameraArea->font();
    big.setPixelSize(28);
    m_cameraArea->setFont(big);
    m_cameraArea->setGeometry(rect());

    m_index = new IndexButton(this);
    m_statusLine = m_index->status;
    m_band = new AlarmBand(this);

    // The IO status bar along the bottom; the views, the button panel and the bands stand above it.
    IOStatusWidget::Source bar;
    bar.loginLevel = [this] { return m_login ? m_login->level() : 0; };
    bar.logout = [this] {
        if (m_login)
            TimerLogout();
    };
    bar.cycleTimeTenths = [this] { return m_cycle ? m_cycle->cycleTime : 0; };
    // A restored group takes effect through a restart, so the name is read once.
    bar.parameterGroup = [group = ParaGroups::ActiveName()] { return group; };
    m_ioBar = new IOStatusWidget(std::move(bar), this);
    m_ioBar->setGeometry(ioBarRect());

    m_initialising = new QLabel(this);
    m_initialising->setAlignment(Qt::AlignCenter);
    m_initialising->setFont(big);
    m_initialising->setStyleSheet(
        QStringLiteral("background-color: #2d8cd6; color: white; border: 2px solid #e8eef4; padding: 24px;"));
    m_initialising->hide();
}

void MoJuWizard::showInitialising(bool on)
{
    if (!on) {
        m_initialising->hide();
        return;
    }
    QString text = LanStr(kRowInitialising);
    m_initialising->setText(text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    m_initialising->adjustSize();
    m_initialising->move((width() - m_initialising->width()) / 2, (height() - m_initialising->height()) / 2);
    m_initialising->show();
    m_initialising->raise();
    m_statusLine->setText(LanStr(kRowInitialising).simplified());
}

// Output 1 on: clamping prohibited.
void MoJuWizard::setClampInterlock()
{
    if (!gpControlIO)
        return;
    gpControlIO->IOSetOut(0, 1);
    gpControlIO->IOFlashOut();
}

bool MoJuWizard::isDetecting() const
{
    return m_cycle ? m_cycle->detectState == InspectionCycle::Detecting : m_detecting;
}

void MoJuWizard::StartDetect()
{
    m_detecting = true;
    if (m_cycle)
        m_cycle->StartDetect();
    LEDOnOff(kLampDetecting, 1);
}

void MoJuWizard::StopDetect()
{
    m_detecting = false;
    if (m_cycle)
        m_cycle->StopDetect();
    LEDOnOff(kLampDetecting, 0);
}

bool MoJuWizard::reportParameterRestore()
{
    const LastGood::Note note = LastGood::ReadNote();
    switch (note.source) {
    case LastGood::Source::LastGood: {
        const QString taken = note.taken.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        const QString text = LanStr(kRowRestoredLastGood).arg(taken);
        InsertRecord(text);
        Operator::Notify(text);
        LastGood::ClearNote();
        return false;
    }
    case LastGood::Source::Factory:
        InsertRecord(LanStr(kRowRestoredFactory).simplified());
        return true;  // the note stays until the station is taught and saved
    case LastGood::Source::None:
        break;
    }
    return false;
}

// Detection stopped, clamping prohibited, the detection lamp off; the operator starts detection
// again (start button) once the station is taught or its regions are mended.
void MoJuWizard::holdUntaught(bool mustBeTaught, const QList<int> &tableFailures)
{
    StopDetect();
    setClampInterlock();
    m_stopReason = (mustBeTaught ? LanStr(kRowNotTaught) : LanStr(kRowCameraParameterError)) + QStringLiteral("  \u2013  ")
                   + LanStr(kRowProhibitClamp);
    for (int position : tableFailures)
        InsertRecord(LanStr(kRowCamera).arg(position + 1) + QLatin1Char(' ') + LanStr(kRowCameraParameterError)
                     + QLatin1Char(' ') + LanStr(kRowProhibitClamp));
    if (mustBeTaught)
        Operator::Warn(kRowRestoredFactory);
}

void MoJuWizard::recordUntaught()
{
    if (!m_cameras || !gpWPara)
        return;
    const int stages = std::clamp(gDNum, 0, kMaxDetect);
    for (int position = 0; position < 8; ++position) {
        if (!cameraView(position))
            continue;
        for (int d = 0; d < stages; ++d)
            if (gpWPara->stage_enable[d] && m_cameras->notTaught(position, d))
                InsertRecord(LanStr(kRowCamera).arg(position + 1) + QLatin1Char(' ')
                             + StageName(d, gpWPara->work_mode) + QStringLiteral(": ") + LanStr(kRowNotTaught));
    }
}

void MoJuWizard::createCameraViews()
{
    CameraHooks::clampInterlockOn = [this] { setClampInterlock(); };
    CameraHooks::detectionRunning = [this] { return m_cycle && m_cycle->detectState != InspectionCycle::Stopped; };
    CameraHooks::showLostCameraBox = [] { gpLostCameraWarnBox->show(); };
    CameraHooks::hideCameraBoxes = [] {
        gpWarnBox->hide();
        gpLostCameraWarnBox->hide();
    };
    CameraHooks::showReconnectBox = [] { gpReconnectCameraWarnBox->show(); };
    gpLostCameraWarnBox->cameraLost = [] { return gisLost.load() != 0; };
    gpLostCameraWarnBox->shutDown = [this] {
        InsertRecord(LanStr(kRowLostCameraPowerOff));
        QThread::sleep(1);
        CloseStationDatabases();
        QThread::sleep(1);
        SystemGateway::powerOff();
    };

    m_cameras = std::make_unique<StationCameras>(m_cameraGrid);
    int placed = 0;
    for (int position = 0; position < 8; ++position) {
        CammerWidget *view = cameraView(position);
        if (view)
            ++placed;
        else if (m_cameras->view(position))
            m_cameras->view(position)->hide();
    }
    m_cameraArea->setVisible(placed == 0);
    m_view.ShowAll(placed);
    CheckCameraCountAtStartup();
}

void MoJuWizard::createCycle()
{
    CycleEnvironment env;
    m_cameras->fillCycleHooks(env);
    // After a re-sampling the operator checks the regions on the new templates in the region
    // editor; leaving it ends the check (RegionCheckDone) and detection resumes on them.
    env.resampleDone = [this](int stage) {
        InsertRecord(LanStr(139));
        QTimer::singleShot(0, this, [this, stage] {
            m_cameras->retrainAll();
            if (!m_cycle)
                return;
            if (!m_editor || alarmRaised()) {
                m_cycle->RegionCheckDone();
                return;
            }
            m_regionCheck = true;
            m_cycle->alarmState = InspectionCycle::Browsing;
            m_index->hide();
            m_editor->setGeometry(rect());
            m_editor->open(shownCamera(), false);
            m_editor->SlotChangeDetect(std::clamp(stage, 0, kMaxDetect - 1));
        });
    };
    env.linkLostBox = [](bool shown, const QString &text) {
        gpLostComWarnBox->setText(text);
        gpLostComWarnBox->setVisible(shown);
    };
    env.linkLostBoxShown = [] { return gpLostComWarnBox->isVisible(); };
    env.noInputWarning = [](bool shown, const QString &text) {
        if (shown)
            gpWarnBox->setText(text);
        gpWarnBox->setVisible(shown);
    };
    env.continuousNgBox = [](bool shown) { gContinuousNgWarnBox->setVisible(shown); };
    // The button panel's captions follow the cycle's start/stop and skip state.
    env.setStartStopText = [this](int) { refreshScreens(); };
    env.setSkipText = [this](int) { refreshScreens(); };
    env.screenOn = [this] {
        if (IsScreenOff())
            LCDOnOff(1);
        m_touch->restartScreenOff();
    };
    // A failed camera's view is framed in red for a second.
    env.showFailure = [this](int camera) {
        if (camera < 0 || camera >= 8)
            return;
        m_failureShownUntil[camera] = QDateTime::currentMSecsSinceEpoch() + 1000;
        if (CammerWidget *view = cameraView(camera))
            view->update();
        QTimer::singleShot(1050, this, [this, camera] {
            if (CammerWidget *view = cameraView(camera))
                view->update();
        });
    };
    // A raised alarm shows every camera, and the button panel makes way until the alarm ends.
    env.showAlarmView = [this] {
        m_statusLine->setStyleSheet(kStatusAlarmStyle);
        if (m_view.singleView())
            SlotReturn();
        refreshScreens();
    };
    StationWiring::InstallRecordHooks(env);
    StationWiring::FillNetworkHooks(env, *this);
    m_cycle = std::make_unique<InspectionCycle>(gpControlIO, std::move(env));
    gContinuousNgWarnBox->onClosed = [this] { m_cycle->ContinuousNgClosed(); };
    connect(&m_cycle->showTimer(), &QTimer::timeout, this, [this] {
        m_statusLine->setStyleSheet(kStatusNormalStyle);
    });

    gpFailImage = new FailImageStore;
    m_failThread = std::make_unique<SaveFialImageThread>(gpFailImage);
    m_failThread->ngLimit = [] { return gpWPara->ng_max_num; };
    m_failThread->okLimit = [] { return gpWPara->ok_record_max_num; };
    if (gpNet && gpNet->isEnabled())
        m_failThread->fileSaved = [](const QString &path) {
            gpNet->CNT_SendAlarmPic(path);
            // The totals name the image relative to the station directory: "./alarmimage/...".
            const QString relative = QDir::current().relativeFilePath(path);
            gpNet->CNT_SendStatistics(relative.startsWith(QLatin1String("..")) ? path : QStringLiteral("./") + relative);
        };
    m_failThread->start(QThread::LowPriority);

    // The capture speed of the parameters on every opened camera, before the first tick.
    CameraSetSpeed();
}

void MoJuWizard::InsertRecord(const QString &text)
{
    if (m_record)
        m_record->InsertRecord(text);
    else
        qInfo().noquote() << "record:" << text;
}

void MoJuWizard::ClearRecord()
{
    if (m_record)
        m_record->ClearRecord();
}

void MoJuWizard::SlotCheckDate()
{
    if (m_record)
        m_record->SlotCheckDate();
}

void MoJuWizard::checkClock()
{
    QFile file(QStringLiteral("realytime.txt"));
    qint64 commissioned = -1;
    if (file.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const qint64 value = file.readAll().trimmed().toLongLong(&ok);
        if (ok && value >= 0)
            commissioned = value;
        file.close();
    }
    const QDateTime now = clock();
    if (commissioned >= 0 && now.toMSecsSinceEpoch() >= commissioned)
        return;

    Operator::Warn(kRowClockError);
    InsertRecord(LanStr(kRowClockErrorRecord));
    // A standing alarm has halted detection already and keeps its outputs.
    if (!alarmRaised())
        StopDetect();
    m_stopReason = LanStr(kRowClockErrorRecord);
    setClampInterlock();
    LEDOnOff(kLampDetecting, 0);

    const std::optional<QDateTime> set = Prompt::AskTime(LanStr(kRowModifyTime));
    if (!set) {
        InsertRecord(LanStr(kRowClockNotSetRecord));
        return;
    }
    SystemGateway::run({QStringLiteral("date"), QStringLiteral("-s"),
                        set->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
    SystemGateway::run({QStringLiteral("hwclock"), QStringLiteral("-w")});
    if (commissioned < 0 && file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(QByteArray::number(set->toMSecsSinceEpoch()));
        file.close();
    }
    InsertRecord(LanStr(kRowModifyTime));
    QThread::sleep(1);
    CloseStationDatabases();
    QThread::sleep(1);
    SystemGateway::reboot();
}

// ---------------------------------------------------------------------------------------------
// Screens: camera views, zoom and pan, the button panel and the hosted panels

CammerWidget *MoJuWizard::cameraView(int position) const
{
    if (!m_cameras || position < 0 || position >= 8)
        return nullptr;
    CammerWidget *view = m_cameras->view(position);
    return view && view->isOpened() ? view : nullptr;
}

void MoJuWizard::createScreens()
{
    // The seven zoom and move buttons over the single view, with the station's images when it
    // has them, else with their names.
    const struct {
        const QPixmap *image;
        QString text;
        void (MoJuWizard::*slot)();
    } zoom[7] = {
        {gpImages ? &gpImages->enlarge : nullptr, LanStr(188), &MoJuWizard::MEnlargeScale},
        {gpImages ? &gpImages->origin : nullptr, LanStr(497), &MoJuWizard::MRecovery},
        {gpImages ? &gpImages->reduce : nullptr, QStringLiteral("-"), &MoJuWizard::MReductionScale},
        {gpImages ? &gpImages->moveUp : nullptr, LanStr(5), &MoJuWizard::SlotMoveT},
        {gpImages ? &gpImages->moveDown : nullptr, LanStr(6), &MoJuWizard::SlotMoveB},
        {gpImages ? &gpImages->moveLeft : nullptr, LanStr(7), &MoJuWizard::SlotMoveL},
        {gpImages ? &gpImages->moveRight : nullptr, LanStr(8), &MoJuWizard::SlotMoveR},
    };
    for (int i = 0; i < 7; ++i) {
        auto *button = new QToolButton(this);
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRaise(true);
        if (zoom[i].image && !zoom[i].image->isNull()) {
            button->setIcon(QIcon(*zoom[i].image));
        } else {
            button->setText(zoom[i].text);
            button->setStyleSheet(QStringLiteral("QToolButton { color: white; background-color: rgba(36, 64, 92, 200);"
                                                 " border: 1px solid #4a6a8a; border-radius: 6px; font-size: 18px; }"));
        }
        connect(button, &QToolButton::clicked, this, zoom[i].slot);
        button->hide();
        m_zoomButtons[i] = button;
    }
    m_foldBack = new QTimer(this);
    m_foldBack->setSingleShot(true);
    m_foldBack->setInterval(ViewState::kFoldBackMs);
    connect(m_foldBack, &QTimer::timeout, this, &MoJuWizard::MTimerScale);

    // The hosted panels, created once; those still to come stand in with a note.
    // The users page; the permission check's refusals are its message dialog.
    auto *users = new DrawUserWidget(UserManager::instance(), this);
    connect(users, &DrawUserWidget::closed, this, [this] { panelClosed(UsersPanel); });
    UserManager::instance().onDenied = [users](UserManager::Denial why) { users->ShowDenial(why); };
    m_panels[UsersPanel] = users;
    // The cavity names, opened from the system settings (OpenCavityNames).
    EditCavitywidget *cavities = CreateCavityEditor(this);
    connect(cavities, &EditCavitywidget::closed, this, [this] { panelClosed(CavityNamesPanel); });
    m_panels[CavityNamesPanel] = cavities;
    // The system parameters; the screens it leads to that the station lacks say so.
    auto *settings = new WizardParaWidget(m_record.get(), this);
    WizardParaWidget::Hooks &hooks = settings->hooks();
    hooks.insertRecord = [this](const QString &text) { InsertRecord(text); };
    hooks.flushAll = [this] {
        if (m_record)
            m_record->Flush();
        CloseStationDatabases();
    };
    hooks.resetCounters = [this] {
        if (m_cycle)
            m_cycle->CountWrite();
    };
    hooks.cameraView = [this](int position) { return cameraView(position); };
    hooks.showEditCavity = [settings] { OpenCavityNames(settings); };
    auto *ioSettings = new IOWidget(this);
    connect(ioSettings, &IOWidget::closed, this, [this, settings] {
        settings->reloadStageCount();
        panelClosed(IoSettingsPanel);
    });
    m_panels[IoSettingsPanel] = ioSettings;
    hooks.showIoWidget = [ioSettings, settings] { ioSettings->open(settings); };
    auto *ioNames = new CustomIONameWidget(this);
    connect(ioNames, &CustomIONameWidget::closed, this, [this] { panelClosed(IoNamesPanel); });
    m_panels[IoNamesPanel] = ioNames;
    hooks.showCustomIoNames = [ioNames, settings] { ioNames->open(settings); };
    // The signal names follow the live record again once the settings close, accepted or not.
    connect(settings, &WizardParaWidget::closed, this, [] {
        if (gpWPara)
            gpWPara->AssignSignalNames();
    });
    hooks.showDetectCycle = [this] { showCycleRecords(); };
    hooks.exportData = [this] { exportProgramData(); };
    // Camera renumbering, the network reporting screen and the hardware information.
    auto *renumber = new WidgetChangeCamera(this);
    renumber->shutDown = [settings] { settings->SlotShutDown(); };
    connect(renumber, &WidgetChangeCamera::closed, this, [this] { panelClosed(CameraAssignmentPanel); });
    m_panels[CameraAssignmentPanel] = renumber;
    hooks.showCameraNumbering = [this, renumber] {
        renumber->Open();
        openPanel(CameraAssignmentPanel);
    };
    auto *network = new OtherNetWidget(this);
    auto relayRestartAsked = std::make_shared<bool>(false);
    OtherNetWidget::Hooks &net = network->hooks();
    net.relayConnected = [] { return gpWPara->net_report && gpNet && gpNet->isEnabled() && gpNet->isConnected(); };
    net.requestProducts = [] { gpNet->CNT_SendGetProduct(); };
    net.requestReminders = [] { gpNet->CNT_SendGetRemindList(); };
    net.reloadStatistics = [] {
        if (!gpNet)
            return;
        // A totals write still queued may have put the file back after the screen removed it:
        // wait for it, remove again, then start the totals and the manual-stop record afresh.
        gpNet->statistics().flush();
        NetSettings::ResetStatistics();
        gpNet->InitStatistics();
        gpNet->InitManualStop();
    };
    net.serverChanged = [relayRestartAsked] { *relayRestartAsked = true; };
    if (gpNet) {
        connect(gpNet, &CNT_Net::productList, network,
                [network](const QByteArray &body) { network->cnt_reset_product(QString::fromUtf8(body)); });
        connect(gpNet, &CNT_Net::remindList, network,
                [network](const QByteArray &body) { network->cnt_reset_remind(QString::fromUtf8(body)); });
    }
    connect(network, &OtherNetWidget::closed, this, [this] { panelClosed(NetworkPanel); });
    m_panels[NetworkPanel] = network;
    hooks.showOtherNetwork = [this, network] {
        network->Open();
        openPanel(NetworkPanel);
    };
    hooks.accepted = [relayRestartAsked] {
        if (!*relayRestartAsked)
            return;
        *relayRestartAsked = false;
        if (gpWPara->net_report && gpNet && gpNet->isEnabled()) {
            LOG(INFO) << "(change serverinfo) 'NetClinet' will restart...";
            CNT_Net::CNT_ReStart();
        }
    };
    hooks.networkChanged = [] { Operator::Warn(LanStr(kRowNetworkRestartNeeded)); };
    hooks.retrainAll = [this] {
        if (m_cameras)
            m_cameras->retrainAll();
    };
    auto *hardware = new HardwareConfigurationWidget(this);
    hooks.showHardwareConfiguration = [this, hardware] {
        hardware->Open();
        hardware->setGeometry(rect());
        hardware->show();
        hardware->raise();
    };
    connect(settings, &WizardParaWidget::closed, this, [this] { panelClosed(SettingsPanel); });
    m_panels[SettingsPanel] = settings;
    RegionEditorHost host;
    host.cameraCount = [] { return numCamera; };
    host.vision = [this](int camera) { return m_cameras ? m_cameras->vision(camera) : nullptr; };
    host.recong = [this](int camera) { return m_cameras ? m_cameras->recong(camera) : nullptr; };
    host.liveImage = [this](int camera) {
        CammerWidget *view = cameraView(camera);
        if (!view || gImageW <= 0 || gImageH <= 0)
            return cv::Mat();
        return cv::Mat(gImageH, gImageW, gisColor ? CV_8UC4 : CV_8UC1, view->workingImage()).clone();
    };
    host.record = [this](const QString &text) { InsertRecord(text); };
    host.cycle = [this] { return m_cycle.get(); };
    host.allVisions = [this] {
        QList<CameraVision *> views;
        for (int position = 0; position < 8; ++position)
            if (CameraVision *vision = m_cameras ? m_cameras->vision(position) : nullptr)
                views << vision;
        return views;
    };
    m_editor = new DrawROIWidget(std::move(host), this);
    connect(m_editor, &DrawROIWidget::closed, this, [this] { panelClosed(RegionEditorPanel); });
    // Confirmed cavity names reach the editor's cavity boxes at once.
    CavityNames::SetButtonHook([this](int camera, const QStringList &) {
        if (m_editor && m_editor->isVisible() && m_editor->camera() == camera)
            m_editor->refreshCavityNames();
    });
    m_panels[RegionEditorPanel] = m_editor;
    auto *help = new HelpWidget(this);
    help->setGeometry(rect());
    connect(help, &HelpWidget::closed, this, [this] { panelClosed(HelpPanel); });
    m_panels[HelpPanel] = help;
    // The result statistics and cycle records; the statistics screen only with statistics on
    // (made when they are first shown if a setter turns them on later).
    StationWiring::CreateRecords(*this);
    makeStatisticsPanel();
    m_index->raise();
    for (QWidget *p : m_panels)
        if (p)
            p->raise();

    // What each camera view shows besides its picture.
    for (int position = 0; position < 8; ++position) {
        CammerWidget *view = cameraView(position);
        if (!view)
            continue;
        view->paintOverlay = [this, position](QPainter &painter, const QTransform &map) {
            paintRegions(painter, map, position);
        };
        view->statusLines = [this, position] { return viewStatus(position); };
        view->shownImage = [this, position]() -> const cv::Mat * {
            // The judged picture while its result is shown; live otherwise, also while an alarm
            // stands, so that the operator sees what is in the mould now (the failed regions stay
            // outlined in red over it).
            if (!m_cycle || m_cycle->alarmState != InspectionCycle::ShowingResult)
                return nullptr;
            const CameraVision *vision = m_cameras->vision(position);
            if (!vision || vision->detectImage.cols != gImageW || vision->detectImage.rows != gImageH)
                return nullptr;
            return &vision->detectImage;
        };
    }

    // Presses anywhere reach eventFilter: taps on the views, and presses outside the input pads.
    qApp->installEventFilter(this);
    ChangeCammer();
}

void MoJuWizard::connectScreens()
{
    connect(m_index->startStop, &QPushButton::clicked, this, [this] {
        const bool wasStopped = m_cycle->detectState == InspectionCycle::Stopped;
        m_cycle->SlotStartStop();
        if (m_cycle->detectState == InspectionCycle::Stopped)
            m_stopReason = LanStr(kRowStopManually);
        if (wasStopped && m_cycle->detectState == InspectionCycle::Detecting)
            recordUntaught();
        refreshScreens();
    });
    // The alarm band's way out: a re-check of the failed stage on the picture of now, or a stop
    // of detection with its password and question.
    connect(m_band->reCheck, &QPushButton::clicked, this, [this] {
        m_cycle->SlotReCheckAlarm();
        refreshScreens();
    });
    connect(m_band->stop, &QPushButton::clicked, this, [this] {
        m_cycle->SlotStartStop();
        if (m_cycle->detectState == InspectionCycle::Stopped)
            m_stopReason = LanStr(kRowStopManually);
        refreshScreens();
    });
    connect(m_index->skip, &QPushButton::clicked, this, [this] {
        m_cycle->SlotStartSkipDetect();
        refreshScreens();
    });
    for (int stage = 0; stage < static_cast<int>(m_index->manual.size()); ++stage)
        connect(m_index->manual[stage], &QPushButton::clicked, this, [this, stage] { m_cycle->SlotManualTrig(stage); });
    connect(m_index->captureMode, &QPushButton::clicked, this, &MoJuWizard::SlotChangeCaptureMode);
    connect(m_index->systemPara, &QPushButton::clicked, this, &MoJuWizard::SlotSystemPara);
    connect(m_index->users, &QPushButton::clicked, this, &MoJuWizard::SlotAccount);
    connect(m_index->alarmImages, &QPushButton::clicked, this, &MoJuWizard::SlotShowAlarmImgae);
    connect(m_index->statistics, &QPushButton::clicked, this, &MoJuWizard::SlotShowStatisticsWidget);
    connect(m_index->help, &QPushButton::clicked, this, &MoJuWizard::SlotHelp);
    connect(m_index->areaSettings, &QPushButton::clicked, this, &MoJuWizard::SlotAdjustArea);
    connect(m_index->multiScreen, &QPushButton::clicked, this, &MoJuWizard::SlotReturn);

    // Captions and status lines follow the cycle's state, which changes on its own tick.
    m_refresh = new QTimer(this);
    connect(m_refresh, &QTimer::timeout, this, &MoJuWizard::refreshScreens);
    m_refresh->start(250);
    refreshScreens();
}

void MoJuWizard::refreshScreens()
{
    refreshBand();
    m_index->Refresh(m_cycle.get(), gpWPara, gDNum, m_view.singleView() && numCamera > 1);
    if (!isVisible())
        return;
    for (int position = 0; position < 8; ++position)
        if (CammerWidget *view = cameraView(position); view && view->isVisible())
            view->update();
}

// While the alarm stands every open panel makes way and the red band names the cameras, the
// stage, the next step and the way out; when it ends the panels come back over the button panel.
// Stopped detection shows an amber band left of the button panel.
void MoJuWizard::refreshBand()
{
    if (!m_band)
        return;
    if (alarmRaised()) {
        for (QWidget *p : m_panels) {
            if (p == m_editor)
                continue;
            if (p && p->isVisible()) {
                p->hide();
                m_panelsHiddenByAlarm << p;
            }
        }
        if (!m_index->isHidden()) {  // also before the window is first shown
            m_index->hide();
            m_panelHiddenByAlarm = true;
        }
        QList<int> failed;
        for (int camera = 0; camera < std::min(numCamera, 8); ++camera)
            if (!m_cycle->cameraOk(camera))
                failed << camera;
        m_band->showAlarm(failed, StageName(m_cycle->alarmStage(), gpWPara ? gpWPara->work_mode : 0));
        // The alarm view: the editor on the first failed camera, above the band.
        if (m_editor && !m_editor->alarmView()) {
            m_editorBeforeAlarm = m_editor->isVisible();
            m_editor->open(failed.isEmpty() ? 0 : failed.first(), true);
        }
        if (m_editor && m_editor->alarmView()) {
            m_band->place(viewArea(), buttonPanelWidth());
            m_editor->setGeometry(0, 0, width(), std::max(1, m_band->geometry().top()));
        }
    } else {
        if (m_editor && m_editor->alarmView()) {
            m_editor->alarmEnded();
            if (m_editorBeforeAlarm) {
                m_editor->setGeometry(rect());
            } else {
                m_editor->hide();
            }
        }
        if (m_band->kind() == AlarmBand::Alarm)
            m_statusLine->setStyleSheet(kStatusNormalStyle);
        if (m_panelHiddenByAlarm) {
            m_panelHiddenByAlarm = false;
            m_index->show();
            m_index->raise();
        }
        for (QWidget *p : std::as_const(m_panelsHiddenByAlarm)) {
            p->show();
            p->raise();
        }
        m_panelsHiddenByAlarm.clear();
        if (m_cycle && m_cycle->detectState == InspectionCycle::Stopped) {
            m_band->showStopped(m_stopReason.isEmpty() ? LanStr(kRowStopping) : m_stopReason);
        } else {
            m_band->hideBand();
            m_stopReason.clear();
        }
    }
    m_band->place(viewArea(), buttonPanelWidth());
    // A panel opened over the screen covers the stop band too.
    for (QWidget *p : m_panels)
        if (p && p->isVisible() && m_band->kind() == AlarmBand::Stopped)
            m_band->hide();
}

int MoJuWizard::buttonPanelWidth() const { return width() <= 1024 ? 130 : 190; }

QRect MoJuWizard::ioBarRect() const
{
    const int h = std::min(IOStatusWidget::BarHeight(width()), height() / 3);
    return QRect(0, height() - h, width(), h);
}

QSize MoJuWizard::viewArea() const { return QSize(width(), std::max(ioBarRect().top(), 1)); }

void MoJuWizard::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_cameraGrid)
        m_cameraGrid->setGeometry(QRect(QPoint(), viewArea()));
    if (m_cameraArea)
        m_cameraArea->setGeometry(QRect(QPoint(), viewArea()));
    if (m_ioBar)
        m_ioBar->setGeometry(ioBarRect());
    for (QWidget *p : m_panels)
        if (p)
            p->setGeometry(rect());
    if (m_foldBack)  // the screens exist
        ChangeCammer();
}

void MoJuWizard::ChangeCammer()
{
    // The button panel stands on the right edge; the views share the screen left of it, so that no
    // part of a picture lies under the buttons.
    const int panelWidth = buttonPanelWidth();
    m_index->setGeometry(width() - panelWidth, 0, panelWidth, viewArea().height());
    const QSize area(std::max(width() - panelWidth, 1), viewArea().height());

    int index = 0;
    for (int position = 0; position < 8; ++position) {
        CammerWidget *view = cameraView(position);
        if (!view)
            continue;
        const QRect rect = m_view.ViewRect(index++, area);
        view->setZoom(QTransform());
        if (rect.isEmpty()) {
            view->hide();
        } else {
            view->setGeometry(rect);
            view->show();
        }
    }
    m_view.Relayout(area);
    m_foldBack->stop();
    MShowHide(m_view.buttonMode());
    refreshScreens();
}

void MoJuWizard::SelectCamera(int position)
{
    if (numCamera <= 1 || position < 0 || position >= numCamera)
        return;
    m_view.Select(position, numCamera);
    ChangeCammer();
}

void MoJuWizard::SlotReturn()
{
    if (numCamera <= 1) {
        MScale(0);
        return;
    }
    m_view.ShowAll(numCamera);
    ChangeCammer();
}

void MoJuWizard::MScale(int step)
{
    if (!m_view.singleView())
        return;
    m_view.Scale(step);
    applyZoom();
}

void MoJuWizard::applyZoom()
{
    if (CammerWidget *view = cameraView(numCamera <= 1 ? 0 : m_view.selected()))
        view->setZoom(m_view.ZoomTransform());
}

// The zoom button: unfolds the seven buttons first, zooms in once they are out.
void MoJuWizard::MEnlargeScale()
{
    if (!m_view.singleView())
        return;
    m_view.PressZoomButton();
    applyZoom();
    MShowHide(m_view.buttonMode());
    restartFoldBack();
}

void MoJuWizard::MReductionScale()
{
    MScale(-1);
    restartFoldBack();
}

void MoJuWizard::MRecovery()
{
    MScale(0);
    restartFoldBack();
}

void MoJuWizard::SlotMove(int dx, int dy)
{
    if (!m_view.singleView())
        return;
    m_view.Move(dx, dy);
    applyZoom();
    restartFoldBack();
}

void MoJuWizard::restartFoldBack()
{
    if (m_foldBack)
        m_foldBack->start();
}

void MoJuWizard::MShowHide(int mode)
{
    m_view.SetButtonMode(mode);
    m_view.SetButtonsAllowed(gpWPara && gpWPara->zoom_buttons != 0);
    const int shown = m_view.buttonMode();
    for (int i = 0; i < 7; ++i)
        m_zoomButtons[i]->setVisible(shown == ViewState::AllButtons || (shown == ViewState::ZoomButtonOnly && i == 0));
    placeZoomButtons();
}

void MoJuWizard::MTimerScale()
{
    m_view.FoldBack();
    MShowHide(m_view.buttonMode());
}

// Bottom left of the single view: zoom in, reset, zoom out on the top row, the four moves below
// as a cross.
void MoJuWizard::placeZoomButtons()
{
    const int side = width() <= 1024 ? 48 : 64;
    const int gap = 8;
    const QPoint origin(16, viewArea().height() - 16 - 3 * side - 2 * gap);
    const QPoint cell[7] = {{0, 0}, {1, 0}, {2, 0}, {1, 1}, {1, 2}, {0, 2}, {2, 2}};
    for (int i = 0; i < 7; ++i) {
        m_zoomButtons[i]->setGeometry(origin.x() + cell[i].x() * (side + gap), origin.y() + cell[i].y() * (side + gap),
                                      side, side);
        m_zoomButtons[i]->setIconSize(QSize(side - 8, side - 8));
        m_zoomButtons[i]->raise();
    }
    for (QWidget *p : m_panels)
        if (p && p->isVisible())
            p->raise();
}

bool MoJuWizard::alarmRaised() const
{
    return m_cycle && m_cycle->alarmState == InspectionCycle::AlarmRaised;
}

bool MoJuWizard::blockingPanelOpen() const
{
    for (Panel which : {SettingsPanel, RegionEditorPanel, CameraAssignmentPanel, IoNamesPanel, CavityNamesPanel,
                        IoSettingsPanel})
        if (m_panels[which] && m_panels[which]->isVisible())
            return true;
    return false;
}

void MoJuWizard::openPanel(Panel which)
{
    QWidget *p = m_panels[which];
    if (!p)
        return;
    p->setGeometry(rect());
    p->show();
    p->raise();
}

void MoJuWizard::panelClosed(Panel which)
{
    if (which == RegionEditorPanel && m_regionCheck) {
        m_regionCheck = false;
        if (m_cycle && m_cycle->alarmState == InspectionCycle::Browsing)
            m_cycle->alarmState = InspectionCycle::Waiting;
        if (m_cycle)
            m_cycle->RegionCheckDone();
    }
    if (which == RegionEditorPanel && m_browsingAlarmImages) {
        m_browsingAlarmImages = false;
        if (m_cycle && m_cycle->alarmState == InspectionCycle::Browsing)
            m_cycle->alarmState = InspectionCycle::Waiting;
    }
    if (which == RegionEditorPanel || which == UsersPanel)
        m_index->show();
}

void MoJuWizard::SlotSystemPara()
{
    if (blockingPanelOpen() || alarmRaised())
        return;
    // An advanced login is lowered first, so the advanced pages ask for the service code each time.
    m_login->LowerForSystemParameters();
    if (!Guard::Require(Guard::Action::SystemParameters))
        return;
    // The settings edit a copy of the whole live record.
    openPanel(SettingsPanel);
    static_cast<WizardParaWidget *>(m_panels[SettingsPanel])->Open();
}

int MoJuWizard::CheckPassword() { return m_login->CheckPassword(); }
bool MoJuWizard::CheckRoot() { return m_login->CheckRoot(); }

void MoJuWizard::TimerLogout()
{
    m_touch->logoutTimer().stop();
    m_login->LogOut();
    if (auto *users = qobject_cast<DrawUserWidget *>(m_panels[UsersPanel]); users && users->isVisible())
        users->Refresh();
}

void MoJuWizard::SlotAccount()
{
    if (blockingPanelOpen() || alarmRaised())
        return;
    m_index->hide();
    openPanel(UsersPanel);
}

void MoJuWizard::SlotHelp()
{
    openPanel(HelpPanel);
}

void MoJuWizard::SlotShowStatisticsWidget()
{
    if (!gpWPara || !gpWPara->enable_statistics)
        return;
    StationWiring::CreateRecords(*this);
    if (makeStatisticsPanel())
        openPanel(StatisticsPanel);
}

bool MoJuWizard::makeStatisticsPanel()
{
    if (m_panels[StatisticsPanel] || !gpResStatisticsParam)
        return m_panels[StatisticsPanel] != nullptr;
    auto *statistics = new StatisticsWidget(gpResStatisticsParam, this);
    connect(statistics, &StatisticsWidget::closed, this, [this] { panelClosed(StatisticsPanel); });
    m_panels[StatisticsPanel] = statistics;
    return true;
}

// The recent NG images in the region editor; the cycle starts no result display meanwhile.
void MoJuWizard::SlotShowAlarmImgae()
{
    if (blockingPanelOpen() || alarmRaised())
        return;
    m_index->hide();
    if (m_cycle) {
        m_cycle->alarmState = InspectionCycle::Browsing;
        m_browsingAlarmImages = true;
    }
    openPanel(RegionEditorPanel);
    m_editor->open(shownCamera(), false);
    m_editor->setSource(DrawROIWidget::SourceRecentNg);
}

// The camera the operator looks at: the selected view, or the first of several.
int MoJuWizard::shownCamera() const
{
    const int selected = m_view.selected();
    return selected >= 0 && selected < numCamera ? selected : 0;
}

// "Area Settings": the region editor on the selected camera (the first of several).
void MoJuWizard::SlotAdjustArea()
{
    if (blockingPanelOpen() || alarmRaised())
        return;
    if (!Guard::Require(Guard::Action::RegionSettings))
        return;
    m_index->hide();
    openPanel(RegionEditorPanel);
    m_editor->open(shownCamera(), false);
}

void MoJuWizard::SlotChangeCaptureMode()
{
    if (!gpWPara || (m_cycle && m_cycle->alarmState == InspectionCycle::Browsing))
        return;
    gpWPara->external_trigger = gpWPara->external_trigger ? 0 : 1;
    for (int position = 0; position < 8; ++position)
        if (CammerWidget *view = cameraView(position))
            view->CameraChangeTrig(true);
    InsertRecord(LanStr(kRowUseExternalTrigger) + QLatin1Char(' ')
                 + LanStr(gpWPara->external_trigger ? kRowActive : kRowDeactive));
    refreshScreens();
}

bool MoJuWizard::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick)
        return false;
    if (!watched->isWidgetType())
        return false;
    if (type == QEvent::MouseButtonPress)
        m_pads.filter(event);

    // Touches on a camera view: a double tap selects a view of several or goes back to all of
    // them; a tap on the single view sets the zoom centre.
    auto *view = qobject_cast<CammerWidget *>(watched);
    if (!view || !m_cameras)
        return false;
    const QPoint at = static_cast<QMouseEvent *>(event)->position().toPoint();
    if (type == QEvent::MouseButtonPress) {
        m_pressPos = at;
    } else if (type == QEvent::MouseButtonDblClick) {
        if (!m_view.singleView())
            SelectCamera(view->position());
        else if (numCamera > 1)
            SlotReturn();
    } else if (m_view.singleView() && (at - m_pressPos).manhattanLength() < 20) {
        m_view.SetCentre(at);
    }
    return false;
}

void MoJuWizard::paintRegions(QPainter &painter, const QTransform &map, int position) const
{
    if (position >= 0 && position < 8 && QDateTime::currentMSecsSinceEpoch() < m_failureShownUntil[position]) {
        painter.setPen(QPen(QColor(240, 20, 20), 8));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(painter.window().adjusted(4, 4, -4, -4));
    }
    const CameraVision *vision = m_cameras ? m_cameras->vision(position) : nullptr;
    if (!vision)
        return;
    const int d = std::clamp(m_cycle ? m_cycle->curStage : 0, 0, kMaxDetect - 1);
    const int regions = std::clamp(vision->singleton.roiNum[d], 0, kMaxRoi);
    const QColor green(0, 220, 0), red(240, 20, 20);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    for (int i = 0; i < regions; ++i) {
        const bool ok = vision->roiOK[d][i] != 0;
        painter.setPen(QPen(ok ? green : red, 2));
        const QPainterPath outline = map.map(vision->RegionOutline(d, i));
        painter.drawPath(outline);
        DrawCavityName(painter, outline.boundingRect(), position, i);
        if (ok)
            continue;
        painter.setPen(QPen(red, 1));
        for (int k = 0; k < std::min(vision->roiBlobNum[d][i], kMaxBlobRect); ++k) {
            const int *b = vision->roiBlobRect[d][i][k];
            painter.drawRect(map.mapRect(QRectF(QPointF(b[0], b[1]), QPointF(b[2] + 1, b[3] + 1))));
        }
    }
}

QList<ViewStatusLine> MoJuWizard::viewStatus(int position) const
{
    CameraStatus s;
    s.camera = position;
    const int mode = gpWPara ? gpWPara->work_mode : 0;
    int detection = 0;
    if (m_cycle) {
        s.detectState = m_cycle->detectState;
        detection = std::clamp(m_cycle->curStage, 0, kMaxDetect - 1);
        s.stageName = StageName(detection, mode);
        for (int stage = 0; stage < InspectionCycle::kStages; ++stage) {
            if (m_cycle->stageDelayLeft[stage] > 0) {
                s.stageName = StageName(stage, mode);
                s.delayLeft = m_cycle->stageDelayLeft[stage];
                break;
            }
        }
        s.cycleTimeTenths = m_cycle->cycleTime;
        if (m_cycle->alarmState == InspectionCycle::ShowingResult || m_cycle->alarmState == InspectionCycle::AlarmRaised)
            s.verdict = m_cycle->cameraOk(position) ? QStringLiteral("OK") : QStringLiteral("NG");
        s.skipping = m_cycle->skipActive;
        s.skipCount = m_cycle->skipCount;
        s.fps = m_cycle->cameraFps[position];
        s.clampHeldForInput = m_cycle->clampHeldForInput();
    }
    s.continuousNg = gContinuousNg[0];
    if (gpWPara) {
        s.continuousNgLimit = gpWPara->continuous_ng_count;
        s.hideNgCount = gpWPara->word154 != 0;
    }
    if (const CameraVision *vision = m_cameras ? m_cameras->vision(position) : nullptr) {
        s.templates = vision->tempCount[detection];
        s.tableError = vision->singleton.LoadFailed();
        s.notTaught = gpWPara && detection < gDNum && gpWPara->stage_enable[detection]
                      && vision->singleton.NotTaught(detection);
    }
    s.templateSlots = gTempNum;
    s.ngCount = gFailNum[position];
    s.totalCount = gAllNum[position];
    if (const CammerWidget *view = cameraView(position))
        s.meanGray = view->meanGray();
    if (m_cameras)
        s.healthWarnings = m_cameras->healthWarnings(position);
    return CameraStatusLines(s);
}

// The cycle-record window (day list, table, export), made on first use and kept.
void MoJuWizard::showCycleRecords()
{
    if (!DetectCycleSQL::instance)
        return;
    if (!m_cycleRecords) {
        m_cycleRecords = new DetectCycleWidget(DetectCycleSQL::instance, this);
        connect(m_cycleRecords, &DetectCycleWidget::closed, m_cycleRecords, &QWidget::hide);
    }
    m_cycleRecords->move((width() - m_cycleRecords->width()) / 2, (height() - m_cycleRecords->height()) / 2);
    m_cycleRecords->show();
    m_cycleRecords->raise();
}

// Copies the station directory to a stick in a folder named by the time, then empties the stored
// camera images that are on the stick. The copy runs on its own thread: a large directory must not
// hold up the cycle, which keeps judging and holding the interlocks meanwhile.
void MoJuWizard::exportProgramData()
{
    if (m_exportRunning)
        return;
    const QString stick = UsbStick::FindForExport(true);
    if (stick.isEmpty())
        return;
    m_exportRunning = true;
    const QString folder = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_hh.mm.ss"));
    const int cameras = numCamera;
    const int steps = gDNum;
    auto why = std::make_shared<QString>();
    auto ok = std::make_shared<bool>(false);
    QThread *worker = QThread::create([stick, folder, cameras, steps, why, ok] {
        *ok = ProgramDataExport::Run(stick, folder, cameras, steps, why.get());
    });
    connect(worker, &QThread::finished, this, [this, worker, why, ok] {
        worker->deleteLater();
        const bool released = UsbStick::Release();
        m_exportRunning = false;
        if (*ok && released)
            Operator::Notify(LanStr(147));
        else
            Operator::Warn(LanStr(1313).arg(why->isEmpty() ? QStringLiteral("sync") : *why));
    });
    worker->start();
}
