// The network reporting screen: alarm notification, NG video, the statistics' product and counts,
// Wi-Fi, the plant server, the relay's reminders and the link check of the network interfaces.
#pragma once

#include <QFrame>
#include <QMap>
#include <QString>
#include <functional>

class CheckBox;
class ComboBox;
class EditBox;
class EditIP;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QStandardItemModel;
class QTableView;
class QTimer;

class OtherNetWidget : public QFrame
{
    Q_OBJECT
public:
    enum Page { NoPage, TelPage, NgVideoPage, StatisticsPage, WifiPage, ServerPage, RemindPage, LinkPage, PageCount };

    // What the screen reaches in the network service; the main window installs them.
    struct Hooks
    {
        std::function<bool()> relayConnected;     // reporting on and the relay connected
        std::function<void()> requestProducts;    // the product-list request
        std::function<void()> requestReminders;   // the reminder-list request
        std::function<void()> reloadStatistics;   // after the reset: statistics and manual stop anew
        std::function<void()> serverChanged;      // the relay is to restart when the parameters are accepted
    };
    // Files and folders the screen reads; tests point them elsewhere.
    struct Paths
    {
        QString sysconf = QStringLiteral("./cnt_net/sysconf.db");
        QString wifiFile = QStringLiteral("./cnt_net/wlanpwd.conf");
        QString wifiInstalled = QStringLiteral("/etc/wpa_supplicant/wlanpwd.conf");
        QString procNetDev = QStringLiteral("/proc/net/dev");
        QString sysNet = QStringLiteral("/sys/class/net");
        QString stationRoot = QStringLiteral(".");
    };

    explicit OtherNetWidget(QWidget *parent = nullptr);

    Hooks &hooks() { return m_hooks; }
    Paths &paths() { return m_paths; }

    // Fills pages 1 to 3 from the edit copy of the parameters and shows no page yet.
    void Open();

    int currentPage() const { return m_page; }
    QPushButton *pageButton(int page) const { return m_pageButtons[page]; }
    CheckBox *telSwitch() const { return m_telSwitch; }
    QLineEdit *techName() const { return m_techName; }
    QLineEdit *techNumber() const { return m_techNumber; }
    CheckBox *ngVideoSwitch() const { return m_ngVideo; }
    ComboBox *productBox() const { return m_product; }
    EditBox *statisticsField(int i) const { return m_statFields[i]; }
    QLineEdit *operatorName() const { return m_operator; }
    QLineEdit *ssid() const { return m_ssid; }
    QLineEdit *psk() const { return m_psk; }
    EditIP *serverAddress(int i) const { return m_serverIp[i]; }
    QLineEdit *serverPort(int i) const { return m_serverPort[i]; }
    QStandardItemModel *remindModel() const { return m_remindModel; }
    QStandardItemModel *linkModel() const { return m_linkModel; }
    QTimer *linkTimer() const { return m_linkTimer; }

public slots:
    void SlotTel();
    void SlotNgVideo();
    void SlotStatistics();
    void SlotWifi();
    void SlotServer();
    void SlotRemind();
    void SlotStartChk();
    void SlotGetProductName();
    void SlotGetRemindList();
    void SlotUpdateWifi();
    void SlotUpdateServer();
    void SlotResetStatistics();
    void SlotTimerChk();
    // Stores pages 1 to 3 in the edit copy (saved when the parameters are accepted) and closes.
    void SlotCloseWgt();

    // The relay's replies to the list requests.
    void cnt_reset_product(const QString &body);
    void cnt_reset_remind(const QString &body);

signals:
    void closed();

protected:
    void hideEvent(QHideEvent *event) override;

private:
    QWidget *buildTelPage();
    QWidget *buildNgVideoPage();
    QWidget *buildStatisticsPage();
    QWidget *buildWifiPage();
    QWidget *buildServerPage();
    QWidget *buildRemindPage();
    QWidget *buildLinkPage();
    QPushButton *button(int row, void (OtherNetWidget::*slot)());
    void showPage(int page);
    bool relayConnected() const;
    void showLinks();

    Hooks m_hooks;
    Paths m_paths;
    int m_page = NoPage;
    QPushButton *m_pageButtons[PageCount] = {};
    QStackedWidget *m_stack = nullptr;
    CheckBox *m_telSwitch = nullptr;
    QLineEdit *m_techName = nullptr;
    QLineEdit *m_techNumber = nullptr;
    CheckBox *m_ngVideo = nullptr;
    ComboBox *m_product = nullptr;
    EditBox *m_statFields[3] = {};  // batch number, cavities, planned output
    QLineEdit *m_operator = nullptr;
    QLabel *m_listNote = nullptr;
    QLineEdit *m_ssid = nullptr;
    QLineEdit *m_psk = nullptr;
    EditIP *m_serverIp[2] = {};
    QLineEdit *m_serverPort[2] = {};
    QStandardItemModel *m_remindModel = nullptr;
    QLabel *m_remindNote = nullptr;
    QStandardItemModel *m_linkModel = nullptr;
    QTimer *m_linkTimer = nullptr;
    QMap<QString, bool> m_running;          // interface -> link running
    QMap<QString, qint64> m_received;       // interface -> bytes received at the last check
    QMap<QString, qint64> m_receivedDelta;  // interface -> bytes received over the last period
};
