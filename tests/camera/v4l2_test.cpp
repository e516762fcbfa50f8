// The V4L2 back-end on a generated video file: device search, decoding, the filter chain and its
// description, rebuilding under the position's mutex.
#include "camerafixture.h"

#include "camera/v4l2backend.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>

namespace {

// A YUV4MPEG2 file of `frames` frames whose luma is a horizontal gradient.
void writeVideo(const QString &path, int width, int height, int frames)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("YUV4MPEG2 W%1 H%2 F30:1 Ip A1:1 C420jpeg\n").arg(width).arg(height).toLatin1());
    QByteArray luma(width * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            luma[y * width + x] = static_cast<char>(40 + x * 160 / width);
    const QByteArray chroma((width / 2) * (height / 2) * 2, static_cast<char>(128));
    for (int i = 0; i < frames; ++i) {
        file.write("FRAME\n");
        file.write(luma);
        file.write(chroma);
    }
}

double spread(const uint8_t *image, int length)
{
    const auto [low, high] = std::minmax_element(image, image + length);
    return *high - *low;
}

}  // namespace

class CameraV4l2 : public CameraTest
{
protected:
    void SetUp() override
    {
        CameraTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        CameraPaths::videoDevice = QDir(dir.path()).filePath(QStringLiteral("video%d.y4m")).toStdString();
        CameraPaths::videoFormat = "yuv4mpegpipe";
        gCameraID = kCameraV4l2;
    }
    void TearDown() override
    {
        CameraTest::TearDown();
        CameraPaths::videoDevice = "/dev/video%d";
        CameraPaths::videoFormat = "video4linux2";
    }
    QString video(int n) const { return QDir(dir.path()).filePath(QStringLiteral("video%1.y4m").arg(n)); }

    QTemporaryDir dir;
};

TEST_F(CameraV4l2, filterPiecesFromTheStoredValues)
{
    const struct
    {
        std::string piece, expected;
    } rows[] = {
        {V4l2Backend::ContrastPiece(100), "eq=contrast=0.000000:"},
        {V4l2Backend::ContrastPiece(150), "eq=contrast=1.000000:"},
        {V4l2Backend::ContrastPiece(0), "eq=contrast=-2.000000:"},
        {V4l2Backend::GammaPiece(100), "gamma=4.060000,"},
        {V4l2Backend::GammaPiece(40), "gamma=1.684000,"},
        {V4l2Backend::SharpPiece(100), "unsharp=5:5:5.000000"},
        {V4l2Backend::SharpPiece(0), "unsharp=5:5:0.000000"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.piece, row.expected);

    gpWPara->contrast[0] = 140;
    gpWPara->gamma[0] = 40;
    gpWPara->sharp[0] = 0;
    FrameSlot slot(0);
    V4l2Backend backend(0, slot);
    EXPECT_EQ(backend.filterDescription(), "eq=contrast=0.800000:gamma=1.684000,unsharp=5:5:0.000000");
}

TEST_F(CameraV4l2, deviceSearchFromTheCountUpToSixtyThree)
{
    struct Row
    {
        const char *name;
        int present;  // the only device file, -1 none
        bool opens;
        std::vector<int> tried;
    };
    std::vector<int> all = {1};
    for (int n = 3; n <= 63; ++n)
        all.push_back(n);
    const Row rows[] = {
        {"ownNumber", 1, true, {1}},
        {"fromTheCountUp", 5, true, {1, 3, 4, 5}},
        {"sixtyThreeIsTheLast", 63, true, all},
        {"neverAboveSixtyThree", 64, false, all},
    };
    gFindCamera = 3;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        for (int n = 0; n <= 64; ++n)
            QFile::remove(video(n));
        writeVideo(video(row.present), 32, 24, 2);
        FrameSlot slot(1);
        V4l2Backend backend(1, slot);
        EXPECT_EQ(backend.open(), row.opens);
        std::vector<std::string> expected;
        for (int n : row.tried)
            expected.push_back(video(n).toStdString());
        EXPECT_EQ(backend.triedDevices(), expected);
    }
}

TEST_F(CameraV4l2, decodeAndFilterGiveGrayFramesOfTheStationSize)
{
    writeVideo(video(0), 64, 48, 6);
    gFindCamera = 1;
    FrameSlot slot(0);
    V4l2Backend backend(0, slot);
    ASSERT_TRUE(backend.open());
    EXPECT_FALSE(backend.hasFilterGraph());

    // Without a graph the decoded gradient comes through.
    backend.grabStep();
    ASSERT_TRUE(slot.take());
    EXPECT_GT(spread(slot.working(), gImageLen), 100);
    EXPECT_LT(slot.working()[0], slot.working()[gImageW - 1]);

    // Contrast 0 flattens the picture: the frame went through the filter chain.
    gpWPara->contrast[0] = 100;
    backend.setContrast(*gpWPara);
    ASSERT_TRUE(backend.hasFilterGraph());
    backend.grabStep();
    ASSERT_TRUE(slot.take());
    EXPECT_LE(spread(slot.working(), gImageLen), 2);

    // The factory values: a strong but not flat picture after the next rebuild.
    backend.restoreDefaults(*gpWParaBak, *gpWPara);
    EXPECT_EQ(gpWParaBak->contrast[0], 140);
    EXPECT_EQ(gpWParaBak->gamma[0], 40);
    EXPECT_EQ(gpWParaBak->sharp[0], 0);
    backend.setSharp(*gpWParaBak);
    backend.grabStep();
    ASSERT_TRUE(slot.take());
    EXPECT_GT(spread(slot.working(), gImageLen), 50);
}

TEST_F(CameraV4l2, frameOfAnotherSizeIsScaledToTheStation)
{
    writeVideo(video(0), 128, 96, 2);
    gFindCamera = 1;
    FrameSlot slot(0);
    V4l2Backend backend(0, slot);
    ASSERT_TRUE(backend.open());
    backend.grabStep();
    ASSERT_TRUE(slot.take());
    // The gradient runs across each row of the station image, the same in the first and last row.
    const uint8_t *image = slot.working();
    EXPECT_GT(image[gImageW - 1] - image[0], 100);
    EXPECT_TRUE(std::equal(image, image + gImageW, image + (gImageH - 1) * gImageW));
}

TEST_F(CameraV4l2, cameraThreadDeliversWhileSettingsRebuildTheGraph)
{
    writeVideo(video(0), 64, 48, 200);
    gFindCamera = 1;
    makeCameras(1);
    cameras[0]->CameraOpen();
    ASSERT_TRUE(cameras[0]->isOpen());
    ASSERT_EQ(cameras[0]->CameraStart(), 1);
    int taken = 0;
    for (int i = 0; i < 40; ++i) {
        gpWPara->contrast[0] = 100 + (i % 2) * 50;
        cameras[0]->SetContrast();
        if (waitForFrame(0, 500) && cameras[0]->TakeFrame())
            ++taken;
    }
    EXPECT_GE(taken, 20);
    cameras[0]->CameraStop();
    cameras[0]->CameraClose();
    EXPECT_FALSE(cameras[0]->isOpen());
}

TEST_F(CameraV4l2, colourOutputGivesFourBytePixels)
{
    setImage(64, 48, true);
    writeVideo(video(0), 64, 48, 2);
    gFindCamera = 1;
    FrameSlot slot(0);
    V4l2Backend backend(0, slot);
    ASSERT_TRUE(backend.open());
    backend.grabStep();
    ASSERT_TRUE(slot.take());
    const uint8_t *last = slot.working() + (gImageLen - 1) * 4;
    EXPECT_EQ(last[0], last[1]);
    EXPECT_EQ(last[1], last[2]);
    EXPECT_EQ(last[3], 255);
    EXPECT_GT(last[0], slot.working()[0]);
}
