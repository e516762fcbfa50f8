// Diagnostic log: pruning of the log folder, the glog settings and the crash-dump lines.
#include "log/glog.h"

#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <glog/logging.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QTime>

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

// What glog wrote into its own files of `dir` (the "log" extension; not the test's "f" files).
QString Written(const QString &dir)
{
    QString written;
    for (const QString &name : Files(dir)) {
        QFile file(dir + "/" + name);
        if (!name.startsWith('f') && name.endsWith("log") && file.open(QIODevice::ReadOnly))
            written += QString::fromUtf8(file.readAll());
    }
    return written;
}

}  // namespace

TEST(GLogTest, PruningKeepsTheNewestFortyNine)
{
    for (const auto &[files, left] : {std::pair{0, 0}, {49, 49}, {50, 49}, {60, 49}}) {
        SCOPED_TRACE(files);
        TempStation station(false);
        const QString dir = station.file("cnt_net/cnt_log_app");
        MakeFiles(dir, files);
        EXPECT_EQ(GLog::PruneDirectory(dir), files - left);
        const QStringList kept = Files(dir);
        ASSERT_EQ(kept.size(), left);
        if (left > 0) {
            EXPECT_EQ(kept.first(), QString("f%1").arg(files - left, 3, 10, QChar('0')));
            EXPECT_EQ(kept.last(), QString("f%1").arg(files - 1, 3, 10, QChar('0')));
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

        LOG(INFO) << "2.5.0" << " release";
        const char dump[] = "*** SIGSEGV received at time=1 ***\n";
        GLog::SignalHandle(dump, sizeof dump - 1);

        // glog's own file, named with the "log" extension, holds both lines at once (no buffering).
        const QString written = Written(dir);
        EXPECT_TRUE(written.contains("2.5.0 release")) << written.toStdString();
        EXPECT_TRUE(written.contains("network:89] *** SIGSEGV received at time=1 ***\n")) << written.toStdString();
    }
    EXPECT_FALSE(google::IsGoogleLoggingInitialized());
}

TEST(GLogTest, RestartInTheSameSecondAndProcessGetsFilesOfItsOwn)
{
    // A restart in place keeps the process id; two starts within one second used to share glog's
    // file name, and the second could not create its file.
    TempStation station(false);
    const QString dir = station.file("cnt_net/cnt_log_app");
    char program[] = "mould-station";
    char *argv[] = {program, nullptr};
    while (QTime::currentTime().msec() > 700)
        QThread::msleep(20);
    for (const char *line : {"first start", "restart in place"}) {
        GLog log(dir.toStdString(), argv);
        LOG(INFO) << line;
    }
    const QString written = Written(dir);
    EXPECT_TRUE(written.contains("first start")) << written.toStdString();
    EXPECT_TRUE(written.contains("restart in place")) << written.toStdString();
}
