// Message log: the switch, the lazy file and its first line, the line format, threads and pruning.
#include "log/logmanager.h"

#include "core/globals.h"
#include "params/wizardpara.h"
#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <memory>
#include <thread>
#include <vector>

namespace {

const QString kStamp = R"(\d{4}/\d{2}/\d{2}-\d{2}:\d{2}:\d{2}\.\d{3})";

QStringList LogFiles(const QString &dir) { return QDir(dir).entryList({"*_log.txt"}, QDir::Files, QDir::Name); }

QStringList Lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    lines.removeAll(QString());
    return lines;
}

bool Matches(const QString &pattern, const QString &line)
{
    return QRegularExpression('^' + pattern + '$').match(line).hasMatch();
}

class LogManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = m_station.file("RECORD/LOG");
        m_para.enable_message_log = 1;
        gpWPara = &m_para;
    }

    void TearDown() override
    {
        m_log.reset();
        gpWPara = nullptr;
    }

    void StartLog() { m_log = std::make_unique<LogManager>(m_dir, nullptr); }

    TempStation m_station{false};
    WizardPara m_para;
    QString m_dir;
    std::unique_ptr<LogManager> m_log;
};

}  // namespace

TEST_F(LogManagerTest, FileAppearsWithTheFirstLineWrittenWhileTheSwitchIsOn)
{
    m_para.enable_message_log = 0;
    StartLog();
    EXPECT_TRUE(QDir(m_dir).exists());
    for (int i = 0; i < 200; ++i)
        qWarning() << "message while off" << i;
    EXPECT_EQ(LogFiles(m_dir), QStringList{});

    m_para.enable_message_log = 1;
    qDebug().noquote() << "application start";
    qCritical().noquote() << "相机初始化";
    const QStringList files = LogFiles(m_dir);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(Matches(R"(\d{8}_\d{6}_log\.txt)", files.first())) << files.first().toStdString();
    EXPECT_EQ(m_dir + "/" + files.first(), LogManager::CurrentFilePath());
    const QStringList lines = Lines(LogManager::CurrentFilePath());
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(Matches("create newlog version 15\\.18\\.2\\.60 " + kStamp, lines[0])) << lines[0].toStdString();
    EXPECT_TRUE(Matches("\\[I " + kStamp + "\\] application start", lines[1])) << lines[1].toStdString();
    EXPECT_TRUE(Matches("\\[E " + kStamp + "\\] 相机初始化", lines[2])) << lines[2].toStdString();

    // Removed while running: the next line starts the file again.
    ASSERT_TRUE(QFile::remove(LogManager::CurrentFilePath()));
    qInfo().noquote() << "again";
    EXPECT_EQ(Lines(LogManager::CurrentFilePath()).size(), 2);

    // Ending the log puts the earlier handler back.
    EXPECT_EQ(LogManager::__instance, m_log.get());
    m_log.reset();
    EXPECT_EQ(LogManager::__instance, nullptr);
    qDebug() << "not kept";
    EXPECT_EQ(Lines(LogManager::CurrentFilePath()).size(), 2);
}

TEST_F(LogManagerTest, LineCarriesLevelLetterTimeAndText)
{
    const std::pair<QtMsgType, const char *> cases[] = {
        {QtDebugMsg, "[I 2026/12/07-04:44:04.007] text"},    {QtInfoMsg, "[I 2026/12/07-04:44:04.007] text"},
        {QtWarningMsg, "[W 2026/12/07-04:44:04.007] text"},  {QtCriticalMsg, "[E 2026/12/07-04:44:04.007] text"},
        {QtFatalMsg, "[F 2026/12/07-04:44:04.007] text"},
    };
    const QDateTime time = QDateTime::fromString("2026-12-07 04:44:04.007", "yyyy-MM-dd hh:mm:ss.zzz");
    for (const auto &[type, line] : cases)
        EXPECT_EQ(LogManager::FormatLine(type, time, "text"), QString(line));
}

TEST_F(LogManagerTest, MessagesFromManyThreadsNeverInterleave)
{
    StartLog();
    constexpr int kThreads = 4;
    constexpr int kEach = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kEach; ++i)
                qDebug().noquote() << QString("thread %1 message %2 ").arg(t).arg(i) + QString(40, 'x');
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    const QStringList lines = Lines(LogManager::CurrentFilePath());
    ASSERT_EQ(lines.size(), 1 + kThreads * kEach);
    for (int i = 1; i < lines.size(); ++i)
        ASSERT_TRUE(Matches("\\[I " + kStamp + "\\] thread \\d message \\d+ x{40}", lines[i])) << lines[i].toStdString();
}

TEST_F(LogManagerTest, StartDeletesOnlyTheOldestFileOnceFiftyAreThere)
{
    for (const auto &[files, left] : {std::pair{49, 49}, {50, 49}, {55, 54}}) {
        SCOPED_TRACE(files);
        m_log.reset();
        QDir(m_dir).removeRecursively();
        QDir().mkpath(m_dir);
        const QDateTime base = QDateTime::currentDateTime().addDays(-100);
        for (int i = 0; i <= files; ++i) {
            // old000 is the oldest run; "notes.txt", older still, is not a run file.
            QFile file(m_dir + (i < files ? QString("/old%1_log.txt").arg(i, 3, 10, QChar('0')) : "/notes.txt"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("x\n");
            file.flush();
            file.setFileTime(i < files ? base.addSecs(i * 60) : base.addYears(-5), QFileDevice::FileModificationTime);
        }
        StartLog();
        const QStringList kept = LogFiles(m_dir);
        EXPECT_EQ(kept.size(), left);
        EXPECT_EQ(kept.contains("old000_log.txt"), files < 50);
        EXPECT_TRUE(kept.contains("old001_log.txt"));
        EXPECT_TRUE(QFile::exists(m_dir + "/notes.txt"));
    }
}
