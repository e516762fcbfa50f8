// Message log: the switch, the lazy file and its first line, the line format, threads and pruning.
#include "log/logmanager.h"

#include "app/globals.h"
#include "params/wizardpara.h"
#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <memory>
#include <thread>
#include <vector>

namespace {

const QRegularExpression kFirstLine(
    R"(^create newlog version 15\.18\.2\.60 \d{4}/\d{2}/\d{2}-\d{2}:\d{2}:\d{2}\.\d{3}$)");

QStringList LogFiles(const QString &dir)
{
    return QDir(dir).entryList({"*_log.txt"}, QDir::Files, QDir::Name);
}

QStringList Lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Old run files with distinct times, file i older than file i+1.
void MakeOldFiles(const QString &dir, int count)
{
    QDir().mkpath(dir);
    const QDateTime base = QDateTime::currentDateTime().addDays(-100);
    for (int i = 0; i < count; ++i) {
        QFile file(dir + QString("/old%1_log.txt").arg(i, 3, 10, QChar('0')));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x\n");
        file.flush();
        file.setFileTime(base.addSecs(i * 60), QFileDevice::FileModificationTime);
    }
}

class LogManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_station = std::make_unique<TempStation>(false);
        m_dir = m_station->file("RECORD/LOG");
        m_para.enable_message_log = 0;
        gpWPara = &m_para;
    }

    void TearDown() override
    {
        m_log.reset();
        gpWPara = nullptr;
    }

    void StartLog() { m_log = std::make_unique<LogManager>(m_dir, nullptr); }

    WizardPara m_para;
    std::unique_ptr<TempStation> m_station;
    QString m_dir;
    std::unique_ptr<LogManager> m_log;
};

}  // namespace

TEST_F(LogManagerTest, SwitchOffWritesNothingAndSwitchingOnCreatesTheFile)
{
    StartLog();
    EXPECT_TRUE(QDir(m_dir).exists());
    for (int i = 0; i < 200; ++i)
        qDebug() << "message" << i;
    qWarning() << "warning while off";
    EXPECT_TRUE(LogFiles(m_dir).isEmpty());

    m_para.enable_message_log = 1;
    qWarning().noquote() << "application start";
    const QStringList files = LogFiles(m_dir);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(QRegularExpression(R"(^\d{8}_\d{6}_log\.txt$)").match(files.first()).hasMatch()) << files.first().toStdString();
    EXPECT_EQ(m_dir + "/" + files.first(), LogManager::CurrentFilePath());

    const QStringList lines = Lines(LogManager::CurrentFilePath());
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(kFirstLine.match(lines[0]).hasMatch()) << lines[0].toStdString();
    EXPECT_TRUE(QRegularExpression(R"(^\[W \d{4}/\d{2}/\d{2}-\d{2}:\d{2}:\d{2}\.\d{3}\] application start$)")
                    .match(lines[1]).hasMatch())
        << lines[1].toStdString();

    m_para.enable_message_log = 0;
    qDebug() << "off again";
    EXPECT_EQ(Lines(LogManager::CurrentFilePath()).size(), 2);
}

TEST_F(LogManagerTest, LineCarriesLevelLetterTimeAndText)
{
    struct Case
    {
        const char *name;
        QtMsgType type;
        const char *line;
    };
    const Case cases[] = {
        {"debug", QtDebugMsg, "[I 2026/12/07-04:44:04.007] text"},
        {"info", QtInfoMsg, "[I 2026/12/07-04:44:04.007] text"},
        {"warning", QtWarningMsg, "[W 2026/12/07-04:44:04.007] text"},
        {"critical", QtCriticalMsg, "[E 2026/12/07-04:44:04.007] text"},
        {"fatal", QtFatalMsg, "[F 2026/12/07-04:44:04.007] text"},
    };
    const QDateTime time = QDateTime::fromString("2026-12-07 04:44:04.007", "yyyy-MM-dd hh:mm:ss.zzz");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LogManager::FormatLine(c.type, time, "text"), QString(c.line));
    }
}

TEST_F(LogManagerTest, WrittenLinesAreUtf8AndOneEachWithLevels)
{
    m_para.enable_message_log = 1;
    StartLog();
    qDebug().noquote() << "相机初始化";
    qInfo().noquote() << "info";
    qCritical().noquote() << "critical";
    const QStringList lines = Lines(LogManager::CurrentFilePath());
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[1].startsWith("[I ") && lines[1].endsWith("] 相机初始化")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("[I ") && lines[2].endsWith("] info"));
    EXPECT_TRUE(lines[3].startsWith("[E ") && lines[3].endsWith("] critical"));
}

TEST_F(LogManagerTest, FileRemovedWhileRunningStartsAgainWithItsFirstLine)
{
    m_para.enable_message_log = 1;
    StartLog();
    qDebug() << "one";
    ASSERT_TRUE(QFile::remove(LogManager::CurrentFilePath()));
    qDebug().noquote() << "two";
    const QStringList lines = Lines(LogManager::CurrentFilePath());
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(kFirstLine.match(lines[0]).hasMatch());
    EXPECT_TRUE(lines[1].endsWith("] two"));
}

TEST_F(LogManagerTest, MessagesFromManyThreadsNeverInterleave)
{
    m_para.enable_message_log = 1;
    StartLog();
    constexpr int kThreads = 4;
    constexpr int kEach = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kEach; ++i)
                qDebug().noquote() << QString("thread %1 message %2 %3").arg(t).arg(i).arg(QString(40, QChar('x')));
        });
    }
    for (std::thread &thread : threads)
        thread.join();

    const QStringList lines = Lines(LogManager::CurrentFilePath());
    ASSERT_EQ(lines.size(), 1 + kThreads * kEach);
    const QRegularExpression line(R"(^\[I [0-9/:.-]{23}\] thread \d message \d+ x{40}$)");
    for (int i = 1; i < lines.size(); ++i)
        ASSERT_TRUE(line.match(lines[i]).hasMatch()) << lines[i].toStdString();
}

TEST_F(LogManagerTest, StartDeletesOnlyTheOldestFileOnceFiftyAreThere)
{
    struct Case
    {
        const char *name;
        int files;
        int left;
    };
    const Case cases[] = {
        {"fewerThanFifty", 49, 49},
        {"exactlyFifty", 50, 49},
        {"fiftyFive", 55, 54},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_log.reset();
        QDir(m_dir).removeRecursively();
        MakeOldFiles(m_dir, c.files);
        QFile other(m_dir + "/notes.txt");
        ASSERT_TRUE(other.open(QIODevice::WriteOnly));
        other.close();
        other.setFileTime(QDateTime::currentDateTime().addYears(-5), QFileDevice::FileModificationTime);

        StartLog();
        const QStringList files = LogFiles(m_dir);
        EXPECT_EQ(files.size(), c.left);
        EXPECT_EQ(files.contains("old000_log.txt"), c.files < 50);
        EXPECT_TRUE(files.contains("old001_log.txt"));
        EXPECT_TRUE(QFile::exists(m_dir + "/notes.txt"));
    }
}

TEST_F(LogManagerTest, EndingTheLogPutsTheEarlierHandlerBack)
{
    m_para.enable_message_log = 1;
    StartLog();
    qDebug() << "kept";
    const QString path = LogManager::CurrentFilePath();
    EXPECT_EQ(LogManager::__instance, m_log.get());
    m_log.reset();
    EXPECT_EQ(LogManager::__instance, nullptr);
    qDebug() << "not kept";
    EXPECT_EQ(Lines(path).size(), 2);
}
