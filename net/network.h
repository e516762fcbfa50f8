// The network service CNT_Net (gpNet): the relay's TCP server on 127.0.0.1:8890, the send queue,
// the heartbeat watch, the relay process and the senders of every message.
#pragma once

#include "net/netlink.h"
#include "net/netmessages.h"
#include "net/netqueue.h"
#include "net/netshare.h"
#include "net/netstatistics.h"
#include "net/netwire.h"

#include <QDateTime>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTcpServer>

#include <array>
#include <atomic>
#include <functional>
#include <memory>

// The service's tunables; tests shorten the times and move the port.
struct NetOptions
{
    quint16 port = 8890;  // 0: any free port
    int ackTimeoutMs = 5000;
    int maxAttempts = 2;
    int heartIntervalMs = 60000;
    int heartLimitMs = 59001;  // no sign of life for this long: the relay is restarted
    qsizetype maxMessages = 10000;
    qint64 maxBytes = 64ll << 20;
    QString relayScript = QStringLiteral("./cnt_net/runNetClient.py");
    QString relayProgram = QStringLiteral("python3");
    QStringList relayArguments = {QStringLiteral("./cnt_net/runNetClient.py")};
    int relayStopMs = 2000;  // SIGTERM, then SIGKILL after this
    int relayExitWaitMs = 300;  // at the station's exit: the wait for a relay after SIGTERM
    QString shareKeyPath = QStringLiteral("/tmp");  // the keys of the shared pictures (ftok)
    int shareLockTimeoutMs = 5;  // a picture the relay holds longer than this is skipped
};

class CNT_Net : public QTcpServer
{
    Q_OBJECT
public:
    // Reads 'CntNet' from PARAM.db in the working directory; with it off nothing listens and no
    // folder is made.
    explicit CNT_Net(QObject *parent = nullptr, const NetOptions &options = NetOptions());
    ~CNT_Net() override;

    bool isEnabled() const { return m_enabled; }
    bool isConnected() const { return m_connected; }
    quint16 port() const { return serverPort(); }
    // Why the port could not be opened; empty when it is open (or the service is off).
    QString listenError() const { return m_listenError; }

    // After the main window exists; the seam for the shared pictures.
    void CNT_FirstInit();
    // Starts the relay, or restarts it: an old one is stopped first; at most one runs.
    static void CNT_ReStart();
    void restartRelay();
    qint64 relayPid() const { return m_relay ? m_relay->processId() : 0; }
    // The send switches from ./cnt_net/whichsend.config.
    void getWhichSend();
    bool sendsType(int type) const { return type >= 0 && type < kSendTypes && m_sendOn[type]; }

    void StartSend();
    void goThrough() { StartSend(); }

    // ---- Senders. Each returns at once when the service is off or its type is switched off;
    //      called from another thread they are carried over to the service's thread. ----
    void CNT_SendRecord(const QDateTime &time, const QString &user, const QString &text);
    void CNT_SendParam();
    void CNT_SendAlarmPic(const QString &path);
    void CNT_SendTempPic(const QString &path);
    void CNT_SendROIParam(const CammerSingleton &regions, int detection);
    void CNT_SendManualStop(bool stopped);
    void CNT_SendDelTempPic(int camera, int detection, const QString &name);
    void CNT_SendAddRemind(CNT_Path_Remind &remind);
    void CNT_SendDelRemind(qint64 utc);
    void CNT_SendGetProduct();
    void CNT_SendGetRemindList();
    void CNT_SendSaveNgVideo(int camera, int isng);
    void CNT_SendTelInfo(int stage, int count);
    void CNT_SendRunState();
    // Sends the run state when it differs from the one sent last.
    void noteRunState();
    void CNT_SendCancle(int releaseCode);
    // The NG and release sequences of the cycle, as far as this service sends them.
    void reportNg(int stage, int failedRegions);
    void reportAlarmReleased(int durationSeconds, int releaseCode);
    // Queues a whole body of any type (the statistics and shared-memory messages use it).
    bool send(int type, const QByteArray &body);

    void InitManualStop();
    const CNT_Path_ManualStop &manualStop() const { return m_manualStop; }

    // ---- Shared pictures ('CntNet' value 2: 0 off, 1 the whole screen, 2 each camera) ----
    // Creates the shared picture of `position`. `picture` is a header over the buffer copied from
    // on every video tick (a camera's working image, which must outlive the service), or empty
    // for the whole screen.
    bool CNT_AddUseMemory(int position, int width, int height, const cv::Mat &picture = cv::Mat(),
                          PixelOrder order = PixelOrder::Rgba);
    // Hands one picture (or the position's remembered one) to the copier while the relay is
    // connected and knows the shared memory.
    void CNT_UpdateMemory(int position, const cv::Mat &picture = cv::Mat(), PixelOrder order = PixelOrder::Rgba,
                          const QString &stamp = QString());
    void CNT_SendMemoryInfo();
    void CNT_FreeShareMemory();
    NetShare *share() { return m_share.get(); }  // nullptr until a picture is shared
    // Frames per second of a frame-rate code (0-4: 5 to 25); other codes give the nearest.
    static int FrameRate(int code);
    // The video tick: the pictures of the sharing mode go to the copier.
    void videoTick();
    int videoIntervalMs() const { return m_videoIntervalMs; }

    // ---- Network statistics (./cnt_net/data/Statistics) ----
    void InitStatistics();
    void ChkandAddStaticticsItem(int camera, int detection, int region);
    // Type 7, with the failed image's path relative to the station ("null" for none).
    void CNT_SendStatistics(const QString &ngImage = QStringLiteral("null"));
    // Type 18: one inspection of a stage, its region results, verdict and trigger kind.
    void CNT_SendStatistics_Once(const QList<NetRegionResult> &results, bool ng, int trigger);
    void CNT_AddNgTimes(int ms);
    int CNT_AddCycle();
    NetStatistics &statistics() { return m_statistics; }
    qint64 bindUtc() const { return m_bindUtc; }

    QString getNetHostName() const { return m_host; }
    // Interface name -> address, mask, gateway ("0.0.0.0" when not found); interface -> MAC.
    static QMap<QString, QStringList> getNewNetCardInfo();
    static QMap<QString, QString> getNetMac();
    // The tables read at construction, for the settings screens.
    const QMap<QString, QStringList> &netCards() const { return m_cards; }
    const QMap<QString, QString> &netMacs() const { return m_macs; }

    // What the senders read from the station, installed by the wiring.
    std::function<RunState()> runState;
    std::function<QString()> userName;  // the operator name of the reports ('CntNet_Operator')
    // Called on every new connection: the shared-memory information goes out there.
    std::function<void()> onNewConnection;
    // The whole screen for sharing mode 1, and its size; the cycle's period (0.1 s) for the totals.
    std::function<QImage()> grabScreen;
    std::function<QSize()> screenSize;
    std::function<int()> cyclePeriod;

    // Counters for the log and the tests.
    qsizetype queued() const { return m_queue.size(); }
    quint64 droppedByBound() const { return m_queue.dropped(); }
    quint64 droppedUnanswered() const { return m_unanswered; }
    quint64 heartbeats() const { return m_heartbeats; }
    quint64 lateAcks() const { return m_thread && m_thread->link() ? m_thread->link()->lateAcks() : 0; }

    static constexpr const char *kDataDir = "./cnt_net/data/";
    static constexpr const char *kManualStopFile = "./cnt_net/data/ManualStop";
    static constexpr const char *kRemindFile = "./cnt_net/data/Remind";
    static constexpr const char *kSwitchFile = "./cnt_net/whichsend.config";
    static constexpr const char *kStatisticsFile = "./cnt_net/data/Statistics";

signals:
    void productList(const QByteArray &body);
    void remindList(const QByteArray &body);
    void relayStarted(qint64 pid);

protected:
    void incomingConnection(qintptr descriptor) override;
    void timerEvent(QTimerEvent *event) override;

private:
    void ParsingSession(int number, const QByteArray &body);
    void SlotDisConnetced(quint64 connection);
    void signOfLife();
    // Runs `call` on the service's thread: at once when already there, queued otherwise.
    bool elsewhere(std::function<void()> call);
    bool on(int type) const { return m_enabled && sendsType(type); }

    NetOptions m_options;
    bool m_enabled = false;
    std::atomic<bool> m_connected{false};
    bool m_memoryInfoSent = false;
    QDateTime m_lastSign;
    QString m_host;
    QMap<QString, QStringList> m_cards;
    QMap<QString, QString> m_macs;
    NetQueue m_queue;
    std::unique_ptr<CNT_Thread> m_thread;
    QMap<int, QString> m_timers;
    std::array<bool, kSendTypes> m_sendOn{};
    CNT_Path_ManualStop m_manualStop;
    qint64 m_bindUtc = 0;  // the last per-cycle statistics message
    QString m_listenError;
    quint64 m_unanswered = 0;
    quint64 m_heartbeats = 0;
    quint64 m_connection = 0;  // number of the newest connection
    int m_lastRunState = -1;
    bool m_dropLogPending = false;
    quint64 m_droppedLogged = 0;
    QProcess *m_relay = nullptr;
    bool m_relayRestartPending = false;
    std::unique_ptr<NetShare> m_share;
    int m_videoIntervalMs = 0;
    NetStatistics m_statistics{QString::fromLatin1(kStatisticsFile)};
};
