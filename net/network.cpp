#include "net/network.h"

#include "core/globals.h"
#include "params/wizardpara.h"

#include <glog/logging.h>

#include <QDir>
#include <QtEndian>
#include <QFile>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <QTimerEvent>
#include <QtDebug>

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>

namespace {

// The first number of the 'CntNet' row, or -1 when PARAM.db cannot be read.
int readNetSwitch()
{
    int value = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("isopen"));
        db.setDatabaseName(QStringLiteral("PARAM.db"));
        if (QFile::exists(QStringLiteral("PARAM.db")) && db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("select value from sysparam where name='CntNet'"))) {
                value = 0;
                if (query.next())
                    value = query.value(0).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts).value(0).toInt();
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("isopen"));
    return value;
}

QString text(const char *field) { return QString::fromUtf8(field, int(qstrnlen(field, 100))); }

// 'CntNet' value 2: 0 off, 1 the whole screen, 2 each camera.
int shareMode() { return gpWPara ? gpWPara->net_options[0] : 0; }

}  // namespace

CNT_Net::CNT_Net(QObject *parent, const NetOptions &options)
    : QTcpServer(parent), m_options(options), m_queue(options.maxMessages, options.maxBytes)
{
    m_cards = getNewNetCardInfo();
    m_host = QHostInfo::localHostName();
    m_macs = getNetMac();
    m_sendOn.fill(true);

    const int netSwitch = readNetSwitch();
    if (netSwitch < 0) {
        LOG(INFO) << "ErrorOpen";
        return;
    }
    if (netSwitch == 0)
        return;

    QDir().mkpath(QString::fromLatin1(kDataDir));
    QFile::remove(QStringLiteral("./cnt_net/chknettimes"));
    if (listen(QHostAddress::LocalHost, m_options.port)) {
        LOG(INFO) << "CNT: server is alread open...";
    } else {
        m_listenError = errorString();
        LOG(ERROR) << "CNT: the relay's port " << m_options.port << " cannot be opened: " << m_listenError.toStdString();
        qWarning().noquote() << "network: port" << m_options.port << "cannot be opened:" << m_listenError;
    }

    m_thread = std::make_unique<CNT_Thread>(m_queue, m_connected, m_options.ackTimeoutMs, m_options.maxAttempts);
    SendLink *link = m_thread->link();
    connect(link, &SendLink::heart, this, [this] {
        ++m_heartbeats;
        signOfLife();
    });
    connect(link, &SendLink::reline, this, [this] {
        m_connected = false;
        if (m_enabled) {
            LOG(INFO) << "(recv info) 'NetClinet' will restart...";
            restartRelay();
        }
        m_lastSign = QDateTime::currentDateTimeUtc();
    });
    connect(link, &SendLink::session, this, &CNT_Net::ParsingSession);
    connect(link, &SendLink::linkLost, this, &CNT_Net::SlotDisConnetced);
    connect(link, &SendLink::dropped, this, [this](quint64) {
        ++m_unanswered;
        LOG(INFO) << "CNT: a message went unanswered twice and was dropped (" << m_unanswered << " so far)";
    });
    m_thread->start();

    m_lastSign = QDateTime::currentDateTimeUtc();
    m_timers.insert(startTimer(m_options.heartIntervalMs), QStringLiteral("heart_timer"));
    m_connected = false;
    m_memoryInfoSent = false;
    InitManualStop();
    InitStatistics();
    m_enabled = true;
    getWhichSend();
}

CNT_Net::~CNT_Net()
{
    if (m_enabled)
        LOG(INFO) << "CNT: " << m_queue.pushed() << " messages queued, "
                  << (m_thread && m_thread->link() ? m_thread->link()->acknowledged() : 0) << " acknowledged, "
                  << m_unanswered << " dropped unanswered, " << m_queue.dropped() << " dropped by the bound, "
                  << m_queue.size() << " still queued";
    if (m_relay && m_relay->state() != QProcess::NotRunning) {
        m_relay->disconnect(this);
        m_relay->terminate();
        // The station must end within its stop deadline. A relay that is still writing what it
        // holds to its backlog is left to end by itself (it has had SIGTERM): destroying its
        // QProcess would kill it and lose the messages it has acknowledged but not yet stored.
        if (!m_relay->waitForFinished(m_options.relayExitWaitMs)) {
            LOG(INFO) << "CNT: the relay is still storing its backlog; it ends by itself";
            m_relay->setParent(nullptr);
            m_relay = nullptr;  // deliberately not destroyed
        }
    }
    close();
    m_thread.reset();  // closes the relay's socket in its thread
    CNT_FreeShareMemory();
}

void CNT_Net::CNT_FirstInit()
{
    if (!m_enabled)
        return;
    if (shareMode() == 1 && screenSize) {
        const QSize size = screenSize();
        CNT_AddUseMemory(0, size.width(), size.height());
    }
    if (!m_share || m_share->isEmpty())
        return;
    // Without a relay yet, the announcement goes with its connection.
    if (m_connected)
        CNT_SendMemoryInfo();
    // The pictures go at the configured frame rate.
    m_videoIntervalMs = 1000 / FrameRate(gpWPara ? gpWPara->net_options[1] : 3);
    if (!m_timers.values().contains(QStringLiteral("send_timer")))
        m_timers.insert(startTimer(m_videoIntervalMs, Qt::PreciseTimer), QStringLiteral("send_timer"));
}

int CNT_Net::FrameRate(int code) { return 5 * (std::clamp(code, 0, 4) + 1); }

bool CNT_Net::CNT_AddUseMemory(int position, int width, int height, const cv::Mat &picture, PixelOrder order)
{
    if (!m_enabled)
        return false;
    if (!m_share)
        m_share = std::make_unique<NetShare>(m_options.shareKeyPath, m_options.shareLockTimeoutMs);
    const int fps = FrameRate(gpWPara ? gpWPara->net_options[1] : 3);
    if (!m_share->add(position, width, height, fps, picture, order))
        return false;
    LOG(INFO) << "CNT: shared picture " << position << " " << width << "x" << height << " shmid "
              << m_share->info(position)->shmid << " semid " << m_share->info(position)->semid;
    return true;
}

void CNT_Net::CNT_UpdateMemory(int position, const cv::Mat &picture, PixelOrder order, const QString &stamp)
{
    if (!m_connected || !m_memoryInfoSent || !m_share)
        return;
    m_share->post(position, picture, order, stamp);
}

void CNT_Net::CNT_SendMemoryInfo()
{
    if (!on(SendMemoryInfo) || m_memoryInfoSent || !m_share || m_share->isEmpty())
        return;
    LOG(INFO) << "send shared memory info";
    send(SendMemoryInfo, m_share->memoryInfo());
    m_memoryInfoSent = true;
}

void CNT_Net::CNT_FreeShareMemory()
{
    if (m_share)
        m_share->freeAll();
    m_share.reset();
}

// The pictures of the sharing mode go to the copier while the relay is there and knows them and
// a user name is set ("null" stops them).
void CNT_Net::videoTick()
{
    const int mode = shareMode();
    if (mode == 0 || !gpWPara || !gpWPara->net_report || !m_connected || !m_memoryInfoSent || !m_share
        || text(gpWPara->net_user_name) == QLatin1String("null"))
        return;
    if (mode == 2) {
        const QString stamp = NetShare::Stamp();
        for (int position = 0; position < NetShare::kPositions; ++position)
            if (m_share->info(position))
                CNT_UpdateMemory(position, cv::Mat(), PixelOrder::Rgba, stamp);
    } else if (mode == 1 && grabScreen && m_share->info(0)) {
        QImage screen = grabScreen();
        if (screen.format() != QImage::Format_RGB32 && screen.format() != QImage::Format_ARGB32)
            screen.convertTo(QImage::Format_RGB32);
        m_share->post(0, screen);
    }
}

void CNT_Net::CNT_ReStart()
{
    if (gpNet)
        gpNet->restartRelay();
}

// The relay is a child process started from an argument list. A running relay is asked to end
// (SIGTERM, SIGKILL after the stop time) and the new one starts once it has gone, without
// blocking the GUI thread meanwhile.
void CNT_Net::restartRelay()
{
    if (!QFile::exists(m_options.relayScript))
        return;
    if (!m_relay) {
        m_relay = new QProcess(this);
        m_relay->setProgram(m_options.relayProgram);
        m_relay->setArguments(m_options.relayArguments);
        // A station that ends without its orderly way out takes the relay with it, so a restarted
        // station never finds an old relay beside the one it starts.
        m_relay->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_relay->setStandardOutputFile(QStringLiteral("./cnt_net/cnt_log_app/runNetClient.log"), QIODevice::Append);
        m_relay->setStandardErrorFile(QStringLiteral("./cnt_net/cnt_log_app/runNetClient.log"), QIODevice::Append);
        connect(m_relay, &QProcess::started, this, [this] { emit relayStarted(m_relay->processId()); });
        connect(m_relay, &QProcess::finished, this, [this] {
            if (m_relayRestartPending) {
                m_relayRestartPending = false;
                m_relay->start();
            }
        });
        connect(m_relay, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                m_relayRestartPending = false;
                LOG(ERROR) << "CNT: the relay could not be started: " << m_relay->errorString().toStdString();
            }
        });
    }
    if (m_relay->state() == QProcess::NotRunning) {
        QDir().mkpath(QStringLiteral("./cnt_net/cnt_log_app/"));
        m_relay->start();
        return;
    }
    if (m_relayRestartPending)
        return;  // already on its way out
    m_relayRestartPending = true;
    m_relay->terminate();
    const qint64 pid = m_relay->processId();
    QTimer::singleShot(m_options.relayStopMs, this, [this, pid] {
        if (m_relay->state() != QProcess::NotRunning && m_relay->processId() == pid)
            m_relay->kill();
    });
}

void CNT_Net::getWhichSend()
{
    m_sendOn.fill(true);
    QFile file(QString::fromLatin1(kSwitchFile));
    if (file.open(QIODevice::ReadOnly))
        m_sendOn = NetWire::ParseSwitches(file.read(NetMessages::kMaxFileBytes));
}

void CNT_Net::StartSend()
{
    if (m_thread && m_thread->link())
        m_thread->link()->kickLater();
}

void CNT_Net::incomingConnection(qintptr descriptor)
{
    m_connected = true;
    m_lastSign = QDateTime::currentDateTimeUtc();
    LOG(INFO) << "CNT: new connected";
    // The send thread owns the socket; it closes the previous one before taking this.
    QMetaObject::invokeMethod(m_thread->link(),
                              [link = m_thread->link(), descriptor, n = ++m_connection] { link->adopt(descriptor, n); },
                              Qt::QueuedConnection);
    m_memoryInfoSent = false;
    if (shareMode() != 0)
        CNT_SendMemoryInfo();
    if (onNewConnection)
        onNewConnection();
    StartSend();
}

// Only the end of the newest connection takes the link down: an older socket that ends after a
// new relay connected says nothing about the new one.
void CNT_Net::SlotDisConnetced(quint64 connection)
{
    if (connection != m_connection)
        return;
    LOG(INFO) << "CNT: has disconnect";
    m_memoryInfoSent = false;
    m_connected = false;
    // A relay that went away inside its read must not block the pictures.
    if (m_share)
        m_share->resetSemaphores();
}

void CNT_Net::signOfLife()
{
    m_lastSign = QDateTime::currentDateTimeUtc();
    if (!m_connected.exchange(true))
        StartSend();
}

void CNT_Net::ParsingSession(int number, const QByteArray &body)
{
    if (number == SendGetProduct)
        emit productList(body);
    else if (number == SendGetRemindList)
        emit remindList(body);
}

void CNT_Net::timerEvent(QTimerEvent *event)
{
    const QString name = m_timers.value(event->timerId());
    if (name == QLatin1String("send_timer")) {
        videoTick();
        return;
    }
    if (name != QLatin1String("heart_timer")) {
        QTcpServer::timerEvent(event);
        return;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (m_lastSign.msecsTo(now) < m_options.heartLimitMs) {
        if (!m_connected.exchange(true))
            StartSend();
    } else {
        m_connected = false;
        if (m_enabled) {
            LOG(INFO) << "(hearttimes timeout) 'NetClinet' will restart...";
            restartRelay();
        }
    }
    m_lastSign = now;
    if (m_enabled && !isListening() && listen(QHostAddress::LocalHost, m_options.port)) {
        m_listenError.clear();
        LOG(INFO) << "CNT: server is alread open...";
    }
}

bool CNT_Net::elsewhere(std::function<void()> call)
{
    if (QThread::currentThread() == thread())
        return false;
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    return true;
}

bool CNT_Net::send(int type, const QByteArray &body)
{
    if (!on(type))
        return false;
    const int dropped = m_queue.push(NetWire::Frame(type, body));
    StartSend();
    if (dropped > 0 && !m_dropLogPending) {
        // Every drop is counted; the log hears of them after the caller's work, not inside it.
        m_dropLogPending = true;
        QMetaObject::invokeMethod(this, [this] {
            m_dropLogPending = false;
            const quint64 total = m_queue.dropped();
            if (total / 1000 != m_droppedLogged / 1000 || m_droppedLogged == 0)
                LOG(WARNING) << "CNT: the send queue is full; " << total << " oldest messages dropped so far";
            m_droppedLogged = total;
        }, Qt::QueuedConnection);
    }
    return true;
}

void CNT_Net::CNT_SendRecord(const QDateTime &time, const QString &user, const QString &text)
{
    if (!on(SendRecord) || elsewhere([=, this] { CNT_SendRecord(time, user, text); }))
        return;
    send(SendRecord, NetMessages::RecordBody(m_host, user, time.toUTC(), text));
}

void CNT_Net::CNT_SendParam()
{
    if (!on(SendParam) || !gpWPara || elsewhere([=, this] { CNT_SendParam(); }))
        return;
    send(SendParam, NetMessages::ParamBody(m_host, *gpWPara, gAllNum, gFailNum, gSerialNB));
}

void CNT_Net::CNT_SendAlarmPic(const QString &path)
{
    if (!on(SendAlarmPic) || elsewhere([=, this] { CNT_SendAlarmPic(path); }))
        return;
    send(SendAlarmPic, path.toUtf8());
}

void CNT_Net::CNT_SendTempPic(const QString &path)
{
    if (!on(SendTempPic) || elsewhere([=, this] { CNT_SendTempPic(path); }))
        return;
    send(SendTempPic, path.toUtf8());
}

void CNT_Net::CNT_SendROIParam(const CammerSingleton &regions, int detection)
{
    // The regions are read where they live (the GUI thread), so no carrying over.
    if (on(SendROIParam))
        send(SendROIParam, NetMessages::ROIParamBody(m_host, regions, detection));
}

void CNT_Net::CNT_SendManualStop(bool stopped)
{
    if (!on(SendManualStop) || elsewhere([=, this] { CNT_SendManualStop(stopped); }))
        return;
    const RunState state = runState ? runState() : (stopped ? RunState::Stopped : RunState::Detecting);
    const QByteArray body = NetMessages::ManualStopBody(m_host, m_manualStop, stopped, state,
                                                        QDateTime::currentDateTime(), userName ? userName() : QString());
    if (!NetMessages::WriteWhole(QString::fromLatin1(kManualStopFile), body))
        LOG(WARNING) << "CNT: " << kManualStopFile << " could not be written";
    send(SendManualStop, body);
}

void CNT_Net::CNT_SendDelTempPic(int camera, int detection, const QString &name)
{
    if (!on(SendDelTempPic) || elsewhere([=, this] { CNT_SendDelTempPic(camera, detection, name); }))
        return;
    send(SendDelTempPic, NetMessages::DelTempPicBody(m_host, camera, detection, name,
                                                     QDateTime::currentMSecsSinceEpoch(), m_manualStop.operator_id));
}

void CNT_Net::CNT_SendAddRemind(CNT_Path_Remind &remind)
{
    if (!on(SendAddRemind))
        return;
    const QByteArray body = NetMessages::RemindBody(m_host, remind);
    if (!NetMessages::AddRemind(QString::fromLatin1(kRemindFile), body))
        LOG(WARNING) << "CNT: " << kRemindFile << " could not be written";
    send(SendAddRemind, body);
}

void CNT_Net::CNT_SendDelRemind(qint64 utc)
{
    if (!on(SendDelRemind))
        return;
    NetMessages::DeleteRemind(QString::fromLatin1(kRemindFile), utc);
    send(SendDelRemind, NetMessages::DelRemindBody(m_host, utc));
}

void CNT_Net::CNT_SendGetProduct() { send(SendGetProduct, {}); }
void CNT_Net::CNT_SendGetRemindList() { send(SendGetRemindList, {}); }

void CNT_Net::CNT_SendSaveNgVideo(int camera, int isng)
{
    if (!on(SendSaveNgVideo) || elsewhere([=, this] { CNT_SendSaveNgVideo(camera, isng); }))
        return;
    const QString product = gpWPara ? text(gpWPara->net_product_name) : QString();
    send(SendSaveNgVideo, NetMessages::NgVideoBody(m_host, camera, product.isEmpty() ? QStringLiteral("no set") : product, isng));
}

void CNT_Net::CNT_SendTelInfo(int stage, int count)
{
    if (!on(SendTelInfo) || !gpWPara || elsewhere([=, this] { CNT_SendTelInfo(stage, count); }))
        return;
    send(SendTelInfo, NetMessages::TelInfoBody(m_host, stage, count, QString::fromLatin1(gpWPara->net_tech_name),
                                               QString::fromLatin1(gpWPara->net_tech_num)));
}

void CNT_Net::CNT_SendRunState()
{
    if (!on(SendRunState) || elsewhere([=, this] { CNT_SendRunState(); }))
        return;
    send(SendRunState, NetMessages::RunStateBody(m_host, runState ? runState() : RunState::Stopped,
                                                 QDateTime::currentMSecsSinceEpoch()));
}

void CNT_Net::noteRunState()
{
    if (!on(SendRunState) || !runState || elsewhere([this] { noteRunState(); }))
        return;
    const int state = int(runState());
    if (state == m_lastRunState)
        return;
    m_lastRunState = state;
    CNT_SendRunState();
}

void CNT_Net::CNT_SendCancle(int releaseCode)
{
    if (!on(SendCancle) || elsewhere([=, this] { CNT_SendCancle(releaseCode); }))
        return;
    send(SendCancle, NetMessages::CancelBody(m_host, m_bindUtc, QDateTime::currentMSecsSinceEpoch(), releaseCode,
                                             userName ? userName() : QString()));
}

// With the link up: the NG video when it and video sharing are on ('CntNet' values 4 and 2),
// the alarm notification when its switch ('CntNet' value 5) is on.
void CNT_Net::reportNg(int stage, int failedRegions)
{
    if (!m_enabled || !m_connected || !gpWPara)
        return;
    if (gpWPara->net_options[2] && gpWPara->net_options[0])
        CNT_SendSaveNgVideo(1, 1);
    if (gpWPara->net_options[3])
        CNT_SendTelInfo(stage, failedRegions);
    CNT_SendStatistics();
}

void CNT_Net::reportAlarmReleased(int durationSeconds, int releaseCode)
{
    if (!m_enabled)
        return;
    CNT_AddNgTimes(durationSeconds * 1000);
    if (m_connected && gpWPara && gpWPara->net_options[2] && gpWPara->net_options[0])
        CNT_SendSaveNgVideo(1, 0);
    CNT_SendCancle(releaseCode);
}

void CNT_Net::InitManualStop()
{
    m_manualStop = NetMessages::LoadManualStop(QString::fromLatin1(kManualStopFile));
}

void CNT_Net::InitStatistics()
{
    m_statistics.flush();
    m_statistics.InitStatistics(QDateTime::currentMSecsSinceEpoch());
}

void CNT_Net::ChkandAddStaticticsItem(int camera, int detection, int region)
{
    if (m_enabled)
        m_statistics.ChkandAddStaticticsItem(camera, detection, region);
}

void CNT_Net::CNT_AddNgTimes(int ms)
{
    if (m_enabled)
        m_statistics.CNT_AddNgTimes(ms);
}

int CNT_Net::CNT_AddCycle() { return int(m_statistics.CNT_AddCycle()); }

// The totals come from the cycle's per-camera counters; sent only while the relay is there, and
// the same text then goes to the file (off the GUI thread).
void CNT_Net::CNT_SendStatistics(const QString &ngImage)
{
    if (!on(SendStatistics) || !m_connected || elsewhere([=, this] { CNT_SendStatistics(ngImage); }))
        return;
    StatisticsInputs in;
    in.now = QDateTime::currentMSecsSinceEpoch();
    in.stoppedMinutes = m_manualStop.stop_check_timelen;
    const int cameras = numCamera > 0 ? std::min(numCamera, 8) : 8;
    for (int c = 0; c < cameras; ++c) {
        in.total[size_t(c)] = gAllNum[c];
        in.ng[size_t(c)] = gFailNum[c];
    }
    if (gpWPara) {
        in.serial = gpWPara->net_stat_settings[0];
        in.cavities = gpWPara->net_stat_settings[1];
        in.planned = gpWPara->net_stat_settings[2];
        in.productName = text(gpWPara->net_product_name);
    }
    in.cyclePeriodTenths = cyclePeriod ? cyclePeriod() : 0;
    if (!m_statistics.update(in))
        return;
    const QByteArray body = m_statistics.body(m_host, runState ? runState() : RunState::Detecting, in.now, ngImage);
    send(SendStatistics, body);
    m_statistics.save(body);
}

void CNT_Net::CNT_SendStatistics_Once(const QList<NetRegionResult> &results, bool ng, int trigger)
{
    if (!on(SendStatisticsOnce) || !m_connected || elsewhere([=, this] { CNT_SendStatistics_Once(results, ng, trigger); }))
        return;
    NetMessages::CycleReport report;
    report.host = m_host;
    report.utc = QDateTime::currentMSecsSinceEpoch();
    report.state = runState ? runState() : RunState::Detecting;
    report.triggerKind = trigger;
    if (gpWPara) {
        report.productName = text(gpWPara->net_product_name);
        report.serial = gpWPara->net_stat_settings[0];
        report.cavities = gpWPara->net_stat_settings[1];
        report.planned = gpWPara->net_stat_settings[2];
    }
    report.operatorName = userName ? userName() : QString();
    report.ng = ng;
    report.cameras = numCamera;
    for (int c = 0; c < 8; ++c) {
        report.total[size_t(c)] = gAllNum[c];
        report.ngCount[size_t(c)] = gFailNum[c];
    }
    m_bindUtc = report.utc;
    send(SendStatisticsOnce, NetMessages::StatisticsOnceBody(report, results));
}

QMap<QString, QStringList> CNT_Net::getNewNetCardInfo()
{
    QMap<QString, QStringList> cards;
    QFile dev(QStringLiteral("/proc/net/dev"));
    if (!dev.open(QIODevice::ReadOnly))
        return cards;
    const QString table = QString::fromLatin1(dev.readAll());
    // The gateways from the kernel's routing table (no command is run for it).
    QMap<QString, QString> gateways;
    QFile route(QStringLiteral("/proc/net/route"));
    if (route.open(QIODevice::ReadOnly)) {
        for (const QString &line : QString::fromLatin1(route.readAll()).split(QLatin1Char('\n')).mid(1)) {
            const QStringList f = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
            bool ok = false;
            const quint32 gw = f.size() > 2 ? f[2].toUInt(&ok, 16) : 0;
            if (ok && gw != 0 && !gateways.contains(f[0]))
                gateways.insert(f[0], QHostAddress(qFromBigEndian(gw)).toString());
        }
    }
    static const QRegularExpression name(QStringLiteral("\\s+(\\S+):\\s+(\\d+)"));
    for (auto it = name.globalMatch(table); it.hasNext();) {
        const QString card = it.next().captured(1);
        if (card == QLatin1String("lo"))
            continue;
        QStringList entry = {QStringLiteral("0.0.0.0"), QStringLiteral("0.0.0.0"), QStringLiteral("0.0.0.0")};
        for (const QNetworkAddressEntry &address : QNetworkInterface::interfaceFromName(card).addressEntries()) {
            if (address.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                entry[0] = address.ip().toString();
                entry[1] = address.netmask().toString();
                break;
            }
        }
        entry[2] = gateways.value(card, entry[2]);
        cards.insert(card, entry);
    }
    return cards;
}

QMap<QString, QString> CNT_Net::getNetMac()
{
    QMap<QString, QString> macs;
    QFile dev(QStringLiteral("/proc/net/dev"));
    if (!dev.open(QIODevice::ReadOnly))
        return macs;
    static const QRegularExpression name(QStringLiteral("\\s+(\\S+):\\s+(\\d+)"));
    for (auto it = name.globalMatch(QString::fromLatin1(dev.readAll())); it.hasNext();) {
        const QString card = it.next().captured(1);
        QFile address(QStringLiteral("/sys/class/net/%1/address").arg(card));
        if (address.open(QIODevice::ReadOnly))
            macs.insert(card, QString::fromLatin1(address.readAll()).trimmed());
    }
    return macs;
}
