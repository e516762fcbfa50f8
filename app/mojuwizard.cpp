#include "app/mojuwizard.h"

#include "app/globals.h"
#include "app/images.h"
#include "app/panel.h"
#include "app/prompt.h"
#include "app/stationcameras.h"
#include "app/startupdb.h"
#include "app/systemgateway.h"
#include "app/touchguard.h"
#include "camera/cameraglobals.h"
#include "camera/cameraloss.h"
#include "camera/cameraprobe.h"
#include "camera/cammerwidget.h"
#include "cycle/cyclecontroller.h"
#include "cycle/failimagestore.h"
#include "cycle/warnbox.h"
#include "io/controlport.h"
#include "log/eventrecord.h"
#include "log/logmanager.h"
#include "log/operationrecord.h"
#include "params/wizardpara.h"

#include <QDir>
#include <QGridLayout>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QSoundEffect>
#include <QSqlDatabase>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QtDebug>

#include <cstdio>

std::function<QDateTime()> MoJuWizard::clock = [] { return QDateTime::currentDateTime(); };

namespace {

constexpr int kRowInitialising = 133;
constexpr int kRowReady = 150;
constexpr int kRowCameraUnavailable = 39;
constexpr int kRowModifyTime = 401;

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
    , m_touch(std::make_unique<TouchGuard>())
{
    gpWin = this;
    m_up = bringUp();
}

MoJuWizard::~MoJuWizard()
{
    if (m_cycle)
        m_cycle->halt();
    m_failThread.reset();
    m_cycle.reset();
    m_cameras.reset();
    // Hooks that reach into this window go with it.
    WarnBox::onShown = nullptr;
    CameraHooks::clampInterlockOn = nullptr;
    CameraHooks::detectionRunning = nullptr;
    if (gpLostCameraWarnBox)
        gpLostCameraWarnBox->shutDown = nullptr;
    if (gContinuousNgWarnBox)
        gContinuousNgWarnBox->onClosed = nullptr;
    EventRecord::SetSink(nullptr);
    // The IO thread stops with the control port; the outputs stay as last published on the board.
    delete gpControlIO;
    gpControlIO = nullptr;
    m_record.reset();
    if (gpWin == this)
        gpWin = nullptr;
}

bool MoJuWizard::bringUp()
{
    // 1. The screen is the window.
    if (QScreen *screen = QGuiApplication::primaryScreen())
        resize(screen->size());

    // 2. A pending update runs once.
    runUpdateScript();

    // 3. Touch-calibration, logout and screen-off timers and the warning boxes (the cycle-record
    //    store comes with the records).
    CreateWarnBoxes(nullptr);  // top-level boxes that live as long as the process
    WarnBox::onShown = [this] {
        if (IsScreenOff())
            LCDOnOff(1);
        m_touch->restartScreenOff();
    };
    m_touch->onCalibrationArmed = [] { Prompt::Warn(LanStr(370)); };
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

    // 11. Machine IO: the control port opens the board and starts the IO thread; clamping stays
    //     prohibited while the station comes up.
    ControlPort::onInitFailed = [](const QString &text) { Prompt::Warn(text); };
    gpControlIO = new ControlPort;
    setClampInterlock();

    // 12. Gray colour table for 8-bit images.
    static const QList<QRgb> table = grayTable();
    Q_UNUSED(table);

    // 13. Camera views with their cameras, regions, templates and models; the camera-count check.
    createCameraViews();

    // 14. The alarm sound.
    m_alarm = new QSoundEffect(this);
    m_alarm->setSource(QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("alarm.wav"))));

    // 16. The cycle and the judged-image thread (the screens of step 15 come with the screens).
    createCycle();

    // 17. Record day check (statistics come with the statistics).
    m_record->Start();
    m_dateCheck = new QTimer(this);
    connect(m_dateCheck, &QTimer::timeout, this, &MoJuWizard::SlotCheckDate);
    m_dateCheck->start(60 * 1000);
    // 18. Detection starts.
    StartDetect();
    if (gpWPara->is_cut_ontime && gpWPara->mold_pulse > 0)
        setClampInterlock();

    // 19. Ready.
    showInitialising(false);
    const QString ready = LanStr(kRowReady).arg(numCamera);
    qInfo().noquote() << "system ready:" << ready;
    std::fprintf(stdout, "system ready: %d cameras\n", numCamera);
    std::fflush(stdout);
    m_statusLine->setText(ready);

    // 20. Counters, capture speed, the cycle tick, and the screen-off timer.
    m_cycle->CountRead();
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

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *title = new QLabel;
    if (gpImages)
        title->setPixmap(gpImages->logo);
    title->setFixedHeight(64);
    title->setContentsMargins(12, 2, 12, 2);
    title->setStyleSheet(QStringLiteral("background-color: #1f2a36; color: #e8eef4;"));
    layout->addWidget(title);

    m_cameraArea = new QLabel(LanStr(kRowCameraUnavailable));
    m_cameraArea->setAlignment(Qt::AlignCenter);
    m_cameraArea->setWordWrap(true);
    QFont big = m_cameraArea->font();
    big.setPixelSize(28);
    m_cameraArea->setFont(big);
    layout->addWidget(m_cameraArea, 1);

    m_statusLine = new QLabel;
    m_statusLine->setFixedHeight(48);
    m_statusLine->setContentsMargins(16, 0, 16, 0);
    QFont status = m_statusLine->font();
    status.setPixelSize(20);
    m_statusLine->setFont(status);
    m_statusLine->setStyleSheet(QStringLiteral("background-color: #10161d; color: #e8eef4;"));
    layout->addWidget(m_statusLine);

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

void MoJuWizard::createCameraViews()
{
    CameraHooks::clampInterlockOn = [this] { setClampInterlock(); };
    CameraHooks::detectionRunning = [this] { return m_cycle && m_cycle->detectState != InspectionCycle::Stopped; };
    CameraHooks::showLostCameraBox = [] { gpLostCameraWarnBox->show(); };
    CameraHooks::showWarning = [](const QString &text) {
        gpWarnBox->setText(text);
        gpWarnBox->show();
    };
    CameraHooks::hideCameraBoxes = [] {
        gpWarnBox->hide();
        gpLostCameraWarnBox->hide();
    };
    CameraHooks::showReconnectBox = [] { gpReconnectCameraWarnBox->show(); };
    CameraHooks::choose = [](const QString &text) {
        gpChooseBox->setText(text);
        return gpChooseBox->exec() == QDialog::Accepted;
    };
    gpLostCameraWarnBox->cameraLost = [] { return gisLost.load() != 0; };
    gpLostCameraWarnBox->shutDown = [this] {
        InsertRecord(QStringLiteral("因丢失相机手动关闭电源"));
        QThread::sleep(1);
        CloseStationDatabases();
        QThread::sleep(1);
        SystemGateway::powerOff();
    };

    m_cameraGrid = new QWidget;
    m_cameras = std::make_unique<StationCameras>(m_cameraGrid);
    auto *grid = new QGridLayout(m_cameraGrid);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(4);
    const int shown = std::max(m_cameras->count(), 1);
    const int columns = shown <= 1 ? 1 : (shown <= 4 ? 2 : 4);
    int placed = 0;
    for (int position = 0; position < 8; ++position) {
        CammerWidget *view = m_cameras->view(position);
        if (!view || !view->isOpened())
            continue;
        grid->addWidget(view, placed / columns, placed % columns);
        ++placed;
    }
    if (placed > 0) {
        auto *frame = static_cast<QVBoxLayout *>(layout());
        frame->replaceWidget(m_cameraArea, m_cameraGrid);
        m_cameraArea->hide();
    }
    CheckCameraCountAtStartup();
}

void MoJuWizard::createCycle()
{
    CycleEnvironment env;
    m_cameras->fillCycleHooks(env);
    // After a re-sampling the operator checks the regions on the new templates. Until the region
    // editor exists, the check is only logged and ends at once, after the current detection run:
    // detection resumes on the new templates.
    env.resampleDone = [this](int stage) {
        InsertRecord(LanStr(139));
        qInfo("templates resampled (stage %d): region check skipped, detection resumes", stage + 1);
        QTimer::singleShot(0, this, [this] {
            m_cameras->retrainAll();
            if (m_cycle)
                m_cycle->RegionCheckDone();
        });
    };
    // Network reports (netSendStageResult, netSendStatistics, netReportAlarm, netReportManualStop)
    // stay empty until the network link is built.
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
    env.confirm = [](const QString &question) {
        gpChooseBox->setText(question);
        return gpChooseBox->exec() == QDialog::Accepted;
    };
    env.warn = [](const QString &text) {
        gpWarnBox->setText(text);
        gpWarnBox->exec();
    };
    env.showAlarmView = [this] {
        m_statusLine->setStyleSheet(QStringLiteral("background-color: #b01010; color: white;"));
    };
    m_cycle = std::make_unique<InspectionCycle>(gpControlIO, std::move(env));
    gContinuousNgWarnBox->onClosed = [this] { m_cycle->ContinuousNgClosed(); };
    connect(&m_cycle->showTimer(), &QTimer::timeout, this, [this] {
        m_statusLine->setStyleSheet(QStringLiteral("background-color: #10161d; color: #e8eef4;"));
    });

    gpFailImage = new FailImageStore;
    m_failThread = std::make_unique<SaveFialImageThread>(gpFailImage);
    m_failThread->ngLimit = [] { return gpWPara->ng_max_num; };
    m_failThread->okLimit = [] { return gpWPara->ok_record_max_num; };
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

    Prompt::Warn(QStringLiteral("系统时间出错，导致停止检测，\n请重新设置时间！"));
    InsertRecord(QStringLiteral("系统时间出错，导致停止检测"));
    StopDetect();
    setClampInterlock();
    LEDOnOff(kLampDetecting, 0);

    const std::optional<QDateTime> set = Prompt::AskTime(LanStr(kRowModifyTime));
    if (!set) {
        InsertRecord(QStringLiteral("系统时间错误，未修改时间"));
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
