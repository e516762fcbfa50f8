// The network reporting, camera renumbering and hardware information screens, one flow each.
#include "ui/network/hardwareconfigurationwidget.h"
#include "ui/network/othernetwidget.h"
#include "ui/network/widgetchangecamera.h"

#include "camera/cameraglobals.h"
#include "core/globals.h"
#include "core/systemgateway.h"
#include "core/texttable.h"
#include "net/netsettings.h"
#include "params/wizardpara.h"
#include "tests/support/stationdir.h"
#include "tests/support/testport.h"
#include "ui/widgets/choosers.h"
#include "ui/widgets/editbox.h"
#include "ui/widgets/editip.h"
#include "ui/widgets/keypads.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTimer>

namespace {

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

class NetworkScreens : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        FillTextTable();
        CreateKeypads();
    }
    void SetUp() override
    {
        gLan = 1;
        gpWPara = &live;
        gpWParaBak = &edit;
        cameras = numCamera;
    }
    void TearDown() override
    {
        gpWPara = gpWParaBak = nullptr;
        numCamera = cameras;
        for (int i = 0; i < 8; ++i)
            gCamNO[i] = i;
    }
    // Lays the screen out at the panel's size, checks that every visible button takes a finger and
    // keeps the picture when MOULD_SCREENSHOT_DIR names a folder.
    void look(QWidget &screen, const QString &name)
    {
        QApplication::processEvents();
        for (QPushButton *button : screen.findChildren<QPushButton *>())
            if (button->isVisible() && button->text().size() > 2)
                EXPECT_GE(button->height(), 60) << name.toStdString() << ": " << button->text().toStdString();
        const QString shots = qEnvironmentVariable("MOULD_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            screen.grab().save(QStringLiteral("%1/%2.png").arg(shots, name));
    }

    TempStation station;
    TestOperatorPort port;
    WizardPara live, edit;
    int cameras = 0;
};

}  // namespace

// Pages 1 to 3 edit the copy only until the screen closes; the lists are asked for only while the
// relay is connected and bad replies change nothing; the server and Wi-Fi values are checked before
// anything is written; the link check shows what each interface received over the period.
TEST_F(NetworkScreens, NetworkScreenFlow)
{
    edit.net_options[3] = 1;
    SetParaText(edit.net_tech_name, QStringLiteral("Li"));
    SetParaText(edit.net_product_name, QStringLiteral("盖板"), true);
    edit.net_stat_settings[1] = 6;

    OtherNetWidget screen;
    bool connected = false;
    int productRequests = 0, remindRequests = 0, serverChanges = 0, reloads = 0;
    OtherNetWidget::Hooks &hooks = screen.hooks();
    hooks.relayConnected = [&] { return connected; };
    hooks.requestProducts = [&] { ++productRequests; };
    hooks.requestReminders = [&] { ++remindRequests; };
    hooks.serverChanged = [&] { ++serverChanges; };
    hooks.reloadStatistics = [&] { ++reloads; };
    screen.paths().wifiInstalled = station.file(QStringLiteral("etc/wlanpwd.conf"));
    screen.paths().procNetDev = station.file(QStringLiteral("proc-net-dev"));
    screen.paths().sysNet = station.file(QStringLiteral("sys"));
    screen.setGeometry(0, 0, 1280, 800);
    screen.show();
    screen.Open();
    EXPECT_EQ(screen.currentPage(), OtherNetWidget::NoPage);
    EXPECT_TRUE(screen.telSwitch()->isChecked());
    EXPECT_EQ(screen.techName()->text(), QStringLiteral("Li"));

    // Statistics and the product list.
    screen.pageButton(OtherNetWidget::StatisticsPage)->click();
    EXPECT_EQ(productRequests, 0);
    connected = true;
    screen.SlotGetProductName();
    EXPECT_EQ(productRequests, 1);
    screen.cnt_reset_product(QStringLiteral(R"({"result":[{"product_name":"A"},{"product_name":"盖板"}]})"));
    screen.cnt_reset_product(QStringLiteral(R"({"result":[{"product_name":"B"},{"name":"C"}]})"));
    ASSERT_EQ(screen.productBox()->count(), 2);
    EXPECT_EQ(screen.productBox()->itemText(0), QStringLiteral("盖板"));
    EXPECT_EQ(screen.productBox()->itemText(1), QStringLiteral("A"));
    screen.productBox()->setCurrentIndex(1);
    screen.statisticsField(1)->setValue(4);
    look(screen, QStringLiteral("network-statistics"));

    // Reminders.
    screen.pageButton(OtherNetWidget::RemindPage)->click();
    screen.SlotGetRemindList();
    EXPECT_EQ(remindRequests, 1);
    screen.cnt_reset_remind(QStringLiteral(R"({"result":[
        {"operator":"li","create_utc":1700000000000,"notify_utc":1700003600000,"duration":60,"reminder_name":"换模"},
        {"operator":"wang","create_utc":1700000000000,"notify_utc":1700007200000,"duration":30,"reminder_name":"清洁"}]})"));
    screen.cnt_reset_remind(QStringLiteral("{broken"));
    ASSERT_EQ(screen.remindModel()->rowCount(), 2);
    EXPECT_EQ(screen.remindModel()->item(1, 4)->text(), QStringLiteral("清洁"));
    look(screen, QStringLiteral("network-reminders"));

    // Server: a refused port writes nothing and asks for no restart.
    screen.pageButton(OtherNetWidget::ServerPage)->click();
    EXPECT_EQ(screen.serverAddress(0)->getTextIP(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(screen.serverPort(0)->text(), QStringLiteral("8088"));
    screen.serverAddress(0)->setTextIP(QStringLiteral("192.168.10.5"));
    screen.serverPort(0)->setText(QStringLiteral("0"));
    screen.SlotUpdateServer();
    EXPECT_EQ(port.warnings.value(0), LanStr(1471).arg(QStringLiteral("0")));
    EXPECT_EQ(serverChanges, 0);
    NetSettings::Server stored;
    QString error;
    ASSERT_EQ(NetSettings::ReadServer(QStringLiteral("./cnt_net/sysconf.db"), &stored, &error), NetSettings::DbResult::Ok);
    EXPECT_EQ(stored.infoIp, QStringLiteral("127.0.0.1"));
    screen.serverPort(0)->setText(QStringLiteral("9001"));
    screen.SlotUpdateServer();
    EXPECT_EQ(serverChanges, 1);
    ASSERT_EQ(NetSettings::ReadServer(QStringLiteral("./cnt_net/sysconf.db"), &stored, &error), NetSettings::DbResult::Ok);
    EXPECT_EQ(stored.infoIp, QStringLiteral("192.168.10.5"));
    EXPECT_EQ(stored.infoPort, QStringLiteral("9001"));
    look(screen, QStringLiteral("network-server"));

    // Wi-Fi: read from the installed file, a short password refused, a good one written and copied.
    write(screen.paths().wifiInstalled, "network={\r\n\tssid=\"Hall 2\"\r\n\tpsk=\"old-pass-1\"\r\n}\r\n");
    screen.pageButton(OtherNetWidget::WifiPage)->click();
    EXPECT_EQ(screen.ssid()->text(), QStringLiteral("Hall 2"));
    EXPECT_EQ(screen.psk()->text(), QStringLiteral("old-pass-1"));
    SystemGateway::clearRecorded();
    screen.psk()->setText(QStringLiteral("short"));
    screen.SlotUpdateWifi();
    EXPECT_EQ(port.warnings.last(), LanStr(1473));
    EXPECT_FALSE(QFile::exists(QStringLiteral("cnt_net/wlanpwd.conf")));
    screen.psk()->setText(QStringLiteral("new-pass-2"));
    screen.SlotUpdateWifi();
    EXPECT_TRUE(QFile::exists(QStringLiteral("cnt_net/wlanpwd.conf")));
    EXPECT_EQ(SystemGateway::recorded(),
              QStringList{QStringLiteral("cp -f ./cnt_net/wlanpwd.conf /etc/wpa_supplicant/")});
    look(screen, QStringLiteral("network-wifi"));

    // Link check.
    write(screen.paths().procNetDev, "  eth0: 1000 0 0\n  wlan0: 50 0 0\n");
    write(station.file(QStringLiteral("sys/eth0/flags")), "0x1043\n");
    write(station.file(QStringLiteral("sys/wlan0/flags")), "0x1003\n");
    screen.pageButton(OtherNetWidget::LinkPage)->click();
    EXPECT_TRUE(screen.linkTimer()->isActive());
    write(screen.paths().procNetDev, "  eth0: 4000 0 0\n  wlan0: 50 0 0\n");
    screen.SlotTimerChk();
    ASSERT_EQ(screen.linkModel()->rowCount(), 2);
    EXPECT_EQ(screen.linkModel()->item(0, 0)->text(), QStringLiteral("eth0"));
    EXPECT_EQ(screen.linkModel()->item(0, 1)->text(), LanStr(420));
    EXPECT_EQ(screen.linkModel()->item(0, 2)->text(), QStringLiteral("3000"));
    EXPECT_EQ(screen.linkModel()->item(1, 1)->text(), LanStr(421));
    look(screen, QStringLiteral("network-link"));
    screen.pageButton(OtherNetWidget::TelPage)->click();
    EXPECT_FALSE(screen.linkTimer()->isActive());
    screen.telSwitch()->setChecked(false);
    screen.techNumber()->setText(QStringLiteral("13800000000"));
    look(screen, QStringLiteral("network-tel"));

    // Statistics reset, then closing stores pages 1 to 3 in the edit copy only.
    write(QStringLiteral("cnt_net/data/Statistics"), "{}");
    screen.SlotResetStatistics();
    EXPECT_FALSE(QFile::exists(QStringLiteral("cnt_net/data/Statistics")));
    EXPECT_EQ(reloads, 1);
    screen.SlotCloseWgt();
    EXPECT_FALSE(screen.isVisible());
    EXPECT_EQ(edit.net_options[3], 0);
    EXPECT_EQ(ParaText(edit.net_tech_num), QStringLiteral("13800000000"));
    EXPECT_EQ(ParaText(edit.net_product_name, true), QStringLiteral("A"));
    EXPECT_EQ(edit.net_stat_settings[1], 4);
    EXPECT_EQ(live.net_stat_settings[1], WizardPara().net_stat_settings[1]);  // the live record waits for the accept
}

// A number taken twice is refused and nothing is kept; a valid numbering is kept, saved and the
// station is shut down; cancelling keeps the old numbering.
TEST_F(NetworkScreens, CameraRenumbering)
{
    numCamera = 3;
    WidgetChangeCamera screen;
    int shutDowns = 0;
    screen.shutDown = [&] { ++shutDowns; };
    screen.setGeometry(0, 0, 1280, 800);
    screen.show();
    screen.Open();
    ASSERT_EQ(screen.choice(0)->count(), 3);
    EXPECT_EQ(screen.choice(2)->itemText(2), LanStr(394).arg(3));
    EXPECT_FALSE(screen.choice(3)->isVisible());
    look(screen, QStringLiteral("camera-renumbering"));

    screen.SetCameraNO(0, 1);
    screen.okButton()->click();
    EXPECT_EQ(port.warnings.value(0), LanStr(361).arg(2));
    EXPECT_TRUE(screen.isVisible());
    EXPECT_EQ(gCamNO[0], 0);  // the repeated numbering is not kept
    screen.cancelButton()->click();
    EXPECT_EQ(gCamNO[0], 0);
    EXPECT_EQ(shutDowns, 0);

    screen.show();
    screen.Open();
    EXPECT_EQ(screen.number(0), 0);
    screen.SetCameraNO(0, 1);
    screen.SetCameraNO(1, 0);
    screen.SetCameraNO(2, 7);  // not a camera present: ignored
    screen.okButton()->click();
    EXPECT_FALSE(screen.isVisible());
    EXPECT_EQ((std::vector<int>{gCamNO[0], gCamNO[1], gCamNO[2]}), (std::vector<int>{1, 0, 2}));
    EXPECT_EQ(shutDowns, 1);
}

TEST_F(NetworkScreens, HardwareInformation)
{
    write(QStringLiteral("conf.txt"), "Board\tModel_A\nCPU\n\nMemory\t4_GB\n");
    write(QStringLiteral("confnext.txt"), "Serial\tX_1\n");
    numCamera = 2;
    const int backend = gCameraID;
    gCameraID = kCameraV4l2;
    HardwareConfigurationWidget screen;
    screen.setGeometry(0, 0, 1280, 800);
    screen.show();
    screen.Open();
    EXPECT_EQ(screen.cameraCount()->text(), LanStr(1475).arg(2));
    ASSERT_EQ(screen.table()->rowCount(), 3);
    EXPECT_EQ(screen.table()->item(0, 0)->text(), QStringLiteral("Board"));
    EXPECT_EQ(screen.table()->item(0, 1)->text(), QStringLiteral("Model A"));
    EXPECT_EQ(screen.table()->item(1, 1)->text(), QString());
    look(screen, QStringLiteral("hardware"));
    screen.nextButton()->click();
    ASSERT_EQ(screen.table()->rowCount(), 1);
    EXPECT_EQ(screen.table()->item(0, 1)->text(), QStringLiteral("X 1"));
    screen.nextButton()->click();
    EXPECT_EQ(screen.currentPage(), 0);
    screen.confirmButton()->click();
    EXPECT_FALSE(screen.isVisible());
    gCameraID = kCameraNone;
    screen.Open();
    EXPECT_EQ(screen.cameraCount()->text(), LanStr(1475).arg(0));
    gCameraID = backend;
}
