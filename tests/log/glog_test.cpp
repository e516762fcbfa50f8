// Diagnostic log: pruning of the log folder, the glog settings and the crash-dump lines.
#include "log/glog.h"

#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <glog/logging.h>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>

namespace {

// Files "f000" ... with distinct times, f000 the oldest.
void MakeFiles(const QString &dir, int count)
{
    QDir().mkpath(dir);
    const QDateTime base = QDateTime::currentDateTime().addDays(-30);
    for (int i = 0; i < count; ++i) {
        QFile file(dir + QString("/f%1").arg(i, 3, 10, QChar('0')));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old");
        file.flush();
        file.setFileTime(base.addSecs(i * 60), QFileDevice::FileModificationTime);
    }
}

QStringList Files(const QString &dir) { return QDir(dir).entryList(QDir::Files, QDir::Name); }

// Everything glog wrote into the folder, apart from the old files.
QString NewContent(const QString &dir)
{
    QString all;
    for (const QString &name : Files(dir)) {
        if (name.startsWith('f'))
            continue;
        QFile file(dir + "/" + name);
        if (file.open(QIODevice::ReadOnly))
            all += QString::fromUtf8(file.readAll());
    }
    return all;
}

}  // namespace

TEST(GLogTest, PruningKeepsTheNewestFortyNine)
{
    struct Case
    {
        const char *name;
        int files;
        int left;
    };
    const Case cases[] = {
        {"empty", 0, 0},
        {"fewerThanFifty", 49, 49},
        {"exactlyFifty", 50, 49},
        {"sixty", 60, 49},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempStation station(false);
        const QString dir = station.file("cnt_net/cnt_log_app");
        MakeFiles(dir, c.files);
        EXPECT_EQ(GLog::PruneDirectory(dir), c.files - c.left);
        const QStringList left = Files(dir);
        ASSERT_EQ(left.size(), c.left);
        if (c.left > 0) {
            // The survivors are the newest ones.
            EXPECT_EQ(left.first(), QString("f%1").arg(c.files - c.left, 3, 10, QChar('0')));
            EXPECT_EQ(left.last(), QString("f%1").arg(c.files - 1, 3, 10, QChar('0')));
        }
    }
}

TEST(GLogTest, StartSetsGlogUpPrunesAndWritesCrashDumpLines)
{
    TempStation station(false);
    const QString dir = station.file("cnt_net/cnt_log_app");
    MakeFiles(dir, 60);
    char program[] = "mould-station";
    char *argv[] = {program, nullptr};
    {
        GLog log(dir.toStdString(), argv);
        EXPECT_EQ(Files(dir).size(), 49);
        EXPECT_EQ(FLAGS_log_dir, dir.toStdString());
        EXPECT_EQ(FLAGS_logbufsecs, 0);
        EXPECT_EQ(FLAGS_max_log_size, 100u);
        EXPECT_TRUE(FLAGS_stop_logging_if_full_disk);
        EXPECT_FALSE(FLAGS_logtostderr);
        EXPECT_TRUE(google::IsGoogleLoggingInitialized());

        LOG(INFO) << "2.5.0" << " release";
        const char dump[] = "*** SIGSEGV received at time=1 ***\n";
        GLog::SignalHandle(dump, sizeof dump - 1);
        google::FlushLogFiles(google::GLOG_INFO);

        const QString content = NewContent(dir);
        EXPECT_TRUE(content.contains("2.5.0 release")) << content.toStdString();
        EXPECT_TRUE(content.contains("network:89] *** SIGSEGV received at time=1 ***\n")) << content.toStdString();
        bool extension = false;
        for (const QString &name : Files(dir))
            extension = extension || (!name.startsWith('f') && name.endsWith("log"));
        EXPECT_TRUE(extension) << Files(dir).join(' ').toStdString();
    }
    EXPECT_FALSE(google::IsGoogleLoggingInitialized());
}
