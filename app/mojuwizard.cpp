#include "app/mojuwizard.h"

#include "app/globals.h"
#include "app/images.h"
#include "app/panel.h"
#include "app/prompt.h"
#include "app/startupdb.h"
#include "app/systemgateway.h"
#include "app/touchguard.h"
#include "io/controlport.h"
#include "log/eventrecord.h"
#include "log/logmanager.h"
#include "log/operationrecord.h"
#include "params/wizardpara.h"

#include <QDir>
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

    // 3. Touch-calibration, logout and screen-off timers. Warning boxes and the cycle-record store
    //    come with the cycle and records.
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

    // 8. Camera back-end and image geometry come with the camera probe.

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

    // 13. Camera views and the camera-count check come with the cameras.

    // 14. The alarm sound.
    m_alarm = new QSoundEffect(this);
    m_alarm->setSource(QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("alarm.wav"))));

    // 15-18. Screens, cycle timers, failed-image thread, record day checks, statistics and the start of
    //        detection come with their subsystems.
    m_record->Start();
    m_dateCheck = new QTimer(this);
    connect(m_dateCheck, &QTimer::timeout, this, &MoJuWizard::SlotCheckDate);
    m_dateCheck->start(60 * 1000);
    StartDetect();

    // 19. Ready.
    showInitialising(false);
    const QString ready = LanStr(kRowReady).arg(numCamera);
    qInfo().noquote() << "system ready:" << ready;
    std::fprintf(stdout, "system ready: %d cameras\n", numCamera);
    std::fflush(stdout);
    m_statusLine->setText(ready);

    // 20. Screen-off timer.
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
    LEDOnOff(kLampDetecting, 1);
}

void MoJuWizard::StopDetect()
{
    m_detecting = false;
    LEDOnOff(kLampDetecting, 0);
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
