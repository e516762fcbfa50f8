// The scenegen and machine-sim programs as a user starts them: options, files written, exit codes.
#include <opencv2/imgcodecs.hpp>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Result
{
    int exitCode = -1;
    QString out;
};

Result runProgram(const QString &program, const QStringList &args, int timeoutMs = 20000)
{
    QProcess p;
    p.start(program, args);
    Result r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    return r;
}

}  // namespace

TEST(ToolsCli, ScenegenWritesCameraFoldersTheStationCanUse)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Result r = runProgram(SCENEGEN_PATH, {"--out", dir.path(), "--cameras", "3", "--size", "200x160",
                                                "--stage", "product", "--camera-folders"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    for (int k = 1; k <= 3; ++k) {
        const QString folder = dir.filePath(QStringLiteral("cam%1").arg(k));
        QFile serial(folder + "/serial");
        ASSERT_TRUE(serial.open(QIODevice::ReadOnly));
        EXPECT_EQ(serial.readAll().trimmed(), QByteArray("SIM-MOULD-") + QByteArray::number(k));
        const cv::Mat frame = cv::imread((folder + "/frame.png").toStdString(), cv::IMREAD_UNCHANGED);
        EXPECT_EQ(frame.type(), CV_8UC1) << "gray file: a mono sensor";
        EXPECT_EQ(frame.cols, 200);
        EXPECT_EQ(frame.rows, 160);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }
    EXPECT_FALSE(QDir(dir.filePath("cam4")).exists());
}

TEST(ToolsCli, OptionsOutOfRangeAreRefused)
{
    QTemporaryDir dir;
    struct Row
    {
        const char *program;
        QStringList args;
    };
    const Row rows[] = {
        {SCENEGEN_PATH, {"--out", dir.path(), "--cameras", "9"}},
        {SCENEGEN_PATH, {"--out", dir.path(), "--fault", "flash"}},
        {SCENEGEN_PATH, {"--cameras", "2"}},
        {MACHINE_SIM_PATH, {"--fault-rate", "1.5"}},
        {MACHINE_SIM_PATH, {"--times", "300,800"}},
        {MACHINE_SIM_PATH, {"--faults", "sprue,flash"}},
        {MACHINE_SIM_PATH, {"--alarm-output", "sometimes"}},
    };
    for (const Row &row : rows) {
        const Result r = runProgram(row.program, row.args);
        EXPECT_EQ(r.exitCode, 2) << row.args.join(' ').toStdString();
    }
}

TEST(ToolsCli, MachineSimWithoutAStationReportsTheTimeOut)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString json = dir.filePath("summary.json");
    const Result r = runProgram(MACHINE_SIM_PATH, {"--dir", dir.filePath("cams"), "--cameras", "2", "--size",
                                                   "160x128", "--wait-timeout", "0.3", "--json", json});
    EXPECT_EQ(r.exitCode, 1) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("board:   /dev/")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("TIME-OUT: no station")) << r.out.toStdString();
    QFile file(json);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("\"timedOut\": true"));
    EXPECT_TRUE(text.contains("\"cycles\": 0"));
    EXPECT_TRUE(QFile::exists(dir.filePath("cams/cam2/frame.png")));
}
