// The system gateway: in a development build no host command runs, every one is recorded.
#include "core/systemgateway.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

TEST(SystemGatewayTest, HostCommandsAreRecordedNotExecuted)
{
    ASSERT_FALSE(SystemGateway::isPanelBuild());
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("touched"));
    const QString recordFile = dir.filePath(QStringLiteral("gateway.log"));
    qputenv("MOULD_GATEWAY_RECORD", recordFile.toLocal8Bit());
    SystemGateway::clearRecorded();
    int restarts = 0, powerOffs = 0;
    SystemGateway::setRestartHandler([&] { ++restarts; });
    SystemGateway::setPowerOffHandler([&] { ++powerOffs; });

    // A file name with a blank and a quote stays one argument and is never interpreted.
    EXPECT_EQ(SystemGateway::run({QStringLiteral("touch"), marker}), 0);
    EXPECT_EQ(SystemGateway::run({}), -1);
    SystemGateway::run({QStringLiteral("mount"), QStringLiteral("/dev/sdb1 'x'; reboot"), QStringLiteral("/mnt")});
    SystemGateway::reboot();
    SystemGateway::powerOff();

    EXPECT_FALSE(QFile::exists(marker));
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(powerOffs, 1);
    const QStringList expected = {QStringLiteral("touch ") + marker,
                                  QStringLiteral("mount /dev/sdb1 'x'; reboot /mnt"), QStringLiteral("reboot"),
                                  QStringLiteral("init 0")};
    EXPECT_EQ(SystemGateway::recorded(), expected);
    QFile file(recordFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), expected.join(QLatin1Char('\n')) + QLatin1Char('\n'));

    qunsetenv("MOULD_GATEWAY_RECORD");
    SystemGateway::setRestartHandler(nullptr);
    SystemGateway::setPowerOffHandler(nullptr);
}
