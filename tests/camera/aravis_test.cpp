// The Aravis back-end against the library's fake cameras: the "Fake" device (no network) for the
// probe and a stream into the frame hand-over; the GigE Vision fake camera, on loopback inside the
// binary's private network namespace, for the external and soft trigger.
// Aravis (GLib) first: Qt's keyword macros would break its headers.
#ifdef MOULD_HAVE_ARAVIS
#include <arv.h>
#endif

#include "camera/backends/aravisbackend.h"
#include "camera/cameraprobe.h"
#include "tests/camera/camerafixture.h"
#include "tests/camera/privatenetwork.h"

#include <QThread>

namespace {
const bool gPrivateNetwork = EnterPrivateNetwork();
}

class AravisTest : public CameraTest
{
protected:
    void SetUp() override
    {
        CameraTest::SetUp();
        if (!AravisBuilt())
            GTEST_SKIP() << "built without Aravis (libaravis-dev)";
        AravisUseInterfaces({"Fake"});
    }
    void TearDown() override
    {
        if (AravisBuilt())
            AravisUseInterfaces({});
        CameraTest::TearDown();
    }

    // Frames delivered to position 0 within `ms`.
    long framesWithin(int ms)
    {
        const long before = cameras[0]->frames().framesDelivered();
        QThread::msleep(static_cast<unsigned long>(ms));
        return cameras[0]->frames().framesDelivered() - before;
    }

    // Probes, opens and starts position 0 on the first device of `interfaces`.
    AravisControl *openFirst(const std::vector<std::string> &interfaces)
    {
        AravisUseInterfaces(interfaces);
        gisColor = false;
        if (!AravisProbe())
            return nullptr;
        ComputeImageLengths();
        m_para->expose_time[0] = 5;
        m_para->adjust_plus[0] = 32;
        makeCameras(1);
        openAll();
        return cameras[0]->isOpen() ? dynamic_cast<AravisControl *>(cameras[0]->backend()) : nullptr;
    }
};

TEST_F(AravisTest, FakeDeviceStreamsIntoTheHandOver)
{
    const std::vector<AravisDevice> devices = AravisEnumerate();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].protocol, "Fake");

    AravisControl *control = openFirst({"Fake"});
    ASSERT_NE(control, nullptr);
    // The probe sizes the station after the camera's region.
    EXPECT_EQ(gCameraID, kCameraAravis);
    EXPECT_EQ(gFindCamera, 1);
    EXPECT_EQ(gImageW, 512);
    EXPECT_EQ(gImageH, 512);
    EXPECT_EQ(cameras[0]->openedSerial(), devices[0].serial);
    EXPECT_EQ(control->triggerSource(), "");

    // Free run: frames arrive and the cycle takes one with the fake camera's pattern in it.
    ASSERT_TRUE(waitForFrame(0, 3000));
    ASSERT_TRUE(cameras[0]->TakeFrame());
    const uint8_t *image = cameras[0]->workingImage();
    EXPECT_NE(*std::max_element(image, image + gImageLen), *std::min_element(image, image + gImageLen));
    EXPECT_GT(framesWithin(500), 3);
    EXPECT_EQ(control->framesLost(), 0);
    EXPECT_GT(control->framesCompleted(), 3);

    cameras[0]->CameraStop();
    cameras[0]->CameraClose();
    EXPECT_FALSE(cameras[0]->isOpen());
}

TEST_F(AravisTest, GigeFakeCameraFollowsTheTrigger)
{
    SKIP_WITHOUT_PRIVATE_NETWORK(gPrivateNetwork);
#ifdef MOULD_HAVE_ARAVIS
    ArvGvFakeCamera *fake = arv_gv_fake_camera_new("lo", "GV0000001");
    ASSERT_TRUE(fake && arv_gv_fake_camera_is_running(fake));
    AravisControl *control = openFirst({"GigEVision"});
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(cameras[0]->openedSerial(), "GV0000001");
    ASSERT_TRUE(waitForFrame(0, 3000));

    // External trigger: the camera waits on its input line and delivers nothing.
    m_para->external_trigger = 1;
    cameras[0]->CameraChangeTrig(false);
    EXPECT_EQ(control->triggerSource(), "Line0");  // the fake camera has no Line1
    QThread::msleep(200);                           // a frame already on its way may still land
    EXPECT_EQ(framesWithin(400), 0);

    // The station's soft trigger: one trigger, one frame.
    control->useSoftwareTrigger();
    QThread::msleep(100);
    const long before = cameras[0]->frames().framesDelivered();
    ASSERT_TRUE(control->softTrigger());
    for (int i = 0; i < 100 && cameras[0]->frames().framesDelivered() == before; ++i)
        QThread::msleep(10);
    EXPECT_EQ(framesWithin(200), 0);
    EXPECT_EQ(cameras[0]->frames().framesDelivered() - before, 1);

    // Back to free run; nothing was lost on the way.
    m_para->external_trigger = 0;
    cameras[0]->CameraChangeTrig(false);
    EXPECT_GT(framesWithin(500), 2);
    EXPECT_EQ(control->framesLost(), 0);

    cameras.clear();
    g_object_unref(fake);
#endif
}
