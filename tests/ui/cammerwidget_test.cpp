// The camera view: it opens its position's camera, takes frames and shows them; the views are made
// for the cameras that opened.
#include "tests/camera/camerafixture.h"

#include "core/texttable.h"
#include "ui/camerastatus.h"
#include "ui/cammerwidget.h"

#include <QDir>
#include <QImage>

using camsdk::Vendor;

TEST_F(CameraTest, cameraViewOpensTakesAndShowsItsFrames)
{
    camsdk::SimCameraPool &sim = pool(Vendor::Hikvision);
    sim.addDevice(device("SN0000001"));
    gCameraID = kCameraHikvision;
    gFindCamera = 1;
    sim.enumerate(&gDevList);
    CammerWidget view(0);
    ASSERT_TRUE(view.isOpened());
    EXPECT_TRUE(sim.streaming(0));
    const std::vector<uint8_t> frame = grayFrame(90);
    sim.pushFrame(0, frame.data(), gImageW, gImageH, 1);
    ASSERT_TRUE(view.TakeFrame());
    EXPECT_DOUBLE_EQ(view.meanGray(), 90);
    view.resize(160, 120);
    const QImage shown = view.grab().toImage();
    EXPECT_EQ(qGray(shown.pixel(80, 60)), 90);

    // A position beyond the cameras found stays closed and shows nothing.
    CammerWidget unused(3);
    EXPECT_FALSE(unused.isOpened());
    EXPECT_FALSE(unused.TakeFrame());
}

TEST_F(CameraTest, cameraViewsForTheCamerasThatOpened)
{
    camsdk::SimCameraPool &sim = pool(Vendor::Hikvision);
    sim.addDevice(device("SN0000001"));
    sim.addDevice(device("SN0000002"));
    gCameraID = kCameraHikvision;
    gFindCamera = 2;
    sim.enumerate(&gDevList);
    bind(1, "SN0000009");  // bound to a camera that is not there
    QWidget window;
    const std::array<CammerWidget *, 8> views = CreateCammerWidgets(&window);
    EXPECT_EQ(numCamera, 1);
    ASSERT_NE(views[0], nullptr);
    EXPECT_TRUE(views[0]->isOpened());
    for (int p = 1; p < 8; ++p)
        EXPECT_EQ(views[p], nullptr) << p;
}

// A drifting camera warns on its view, in amber under the counters, over a bright picture too.
TEST_F(CameraTest, cameraViewShowsTheDriftWarningsInAmber)
{
    FillTextTable();
    gLan = 1;
    camsdk::SimCameraPool &sim = pool(Vendor::Hikvision);
    sim.addDevice(device("SN0000001"));
    gCameraID = kCameraHikvision;
    gFindCamera = 1;
    sim.enumerate(&gDevList);
    CammerWidget view(0);
    const std::vector<uint8_t> frame = grayFrame(170);
    sim.pushFrame(0, frame.data(), gImageW, gImageH, 1);
    ASSERT_TRUE(view.TakeFrame());
    CameraStatus status;
    status.healthWarnings << QStringLiteral("Camera 1: image less sharp by 23 % since training, check the focus");
    view.statusLines = [&status] { return CameraStatusLines(status); };
    view.resize(900, 600);
    const QImage shown = view.grab().toImage();
    ASSERT_FALSE(view.paintedStatus().isEmpty());
    const ViewStatusLine &last = view.paintedStatus().last();
    EXPECT_EQ(last.text, status.healthWarnings.first());
    EXPECT_EQ(last.colour, QColor(255, 200, 0));
    if (const QString dir = qEnvironmentVariable("MOULD_SCREENSHOTS"); !dir.isEmpty())
        shown.save(QDir(dir).filePath(QStringLiteral("camera-drift-warning.png")));
}
