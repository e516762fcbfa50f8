// Camera health: the measures of a picture, and warnings that come only for lasting drifts.
#include "camera/camerahealth.h"

#include "core/globals.h"
#include "core/texttable.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace {

cv::Mat texture()
{
    cv::Mat m(200, 200, CV_8UC1);
    cv::RNG rng(7);
    rng.fill(m, cv::RNG::UNIFORM, 60, 180);
    cv::GaussianBlur(m, m, cv::Size(), 1.0);
    return m;
}

HealthSample at(double brightness, double focus = 0.1, double contrast = 30)
{
    HealthSample s;
    s.brightness = brightness;
    s.contrast = contrast;
    s.focus = focus;
    return s;
}

class Health : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FillTextTable();
        gLan = 1;
        HealthReference r;
        r.valid = true;
        r.brightness = 100, r.contrast = 30, r.focus = 0.1;  // focus is a small ratio
        r.area = cv::Rect(0, 0, 50, 50);
        health.setReference(1, 0, r);
    }
    // Adds n pictures; returns the texts of the warnings that changed.
    QStringList feed(const HealthSample &s, int n, int detection = 0)
    {
        QStringList texts;
        for (int i = 0; i < n; ++i)
            for (const CameraHealth::Change &c : health.add(1, detection, s))
                texts << CameraHealth::Text(c);
        return texts;
    }
    CameraHealth health;
};

}  // namespace

TEST(HealthMeasure, BlurDarkAndAreaShowInTheMeasures)
{
    const cv::Mat sharp = texture();
    cv::Mat blurred, dark;
    cv::GaussianBlur(sharp, blurred, cv::Size(), 2.0);
    sharp.convertTo(dark, -1, 0.5);
    const HealthSample s = MeasureHealth(sharp, cv::Rect(0, 0, 200, 200));
    EXPECT_NEAR(s.brightness, cv::mean(sharp)[0], 0.01);
    EXPECT_LT(MeasureHealth(blurred, cv::Rect(0, 0, 200, 200)).focus, s.focus * 0.5);
    const HealthSample darker = MeasureHealth(dark, cv::Rect(0, 0, 200, 200));
    EXPECT_NEAR(darker.brightness, s.brightness / 2, 1.0);
    EXPECT_NEAR(darker.focus, s.focus, s.focus * 0.1) << "less light is not less focus";
    // An area reaching out of the picture is clipped; one outside it measures nothing.
    EXPECT_NEAR(MeasureHealth(sharp, cv::Rect(100, 100, 500, 500)).brightness,
                cv::mean(sharp(cv::Rect(100, 100, 100, 100)))[0], 0.01);
    EXPECT_EQ(MeasureHealth(sharp, cv::Rect(300, 300, 50, 50)).brightness, 0.0);
}

TEST_F(Health, OddPicturesAndNoiseNeverWarn)
{
    EXPECT_TRUE(feed(at(104, 0.095), 15).isEmpty());
    EXPECT_TRUE(feed(at(40, 0.01), 1).isEmpty()) << "one odd picture";
    EXPECT_TRUE(feed(at(96, 0.11), 40).isEmpty());
    EXPECT_TRUE(feed(at(100, 0.3), 40).isEmpty()) << "a sharper picture is no fault";
    EXPECT_TRUE(health.warnings(1).isEmpty());
}

TEST_F(Health, LastingDriftWarnsOnceAndSaysWhenItIsBack)
{
    const QStringList warned = feed(at(75), 60);
    ASSERT_EQ(warned.size(), 1);
    EXPECT_EQ(warned[0], QStringLiteral("Camera 2: image darker by 25 % since training"));
    EXPECT_EQ(health.warnings(1), warned);
    EXPECT_TRUE(health.warnings(0).isEmpty());
    // Just inside the limit again is not back yet; well inside it is, once.
    EXPECT_TRUE(feed(at(83), 60).isEmpty());
    EXPECT_EQ(feed(at(100), 60), QStringList{QStringLiteral("Camera 2: brightness back as at training")});
    EXPECT_TRUE(health.warnings(1).isEmpty());

    // Focus and shift, on another detection of the same camera.
    QStringList texts = feed(at(100, 0.04), 60);
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].startsWith(QStringLiteral("Camera 2: image less sharp by"))) << texts[0].toStdString();
    // The record says how far it was when it crossed the limit; the status line how far it is now.
    EXPECT_TRUE(health.warnings(1).contains(
        QStringLiteral("Camera 2: image less sharp by 60 % since training, check the focus")));
    HealthSample moved = at(100);
    moved.located = true;
    moved.shiftX = 12;
    HealthReference fromFile;
    fromFile.valid = true, fromFile.brightness = 100, fromFile.contrast = 30, fromFile.focus = 0.1;
    health.setReference(1, 1, fromFile);
    EXPECT_EQ(feed(moved, 60, 1), QStringList{QStringLiteral("Camera 2: position shifted 12 px")});
}

TEST_F(Health, WithoutStoredValuesTheFirstPicturesAreTheReference)
{
    health.setReference(1, 2, HealthReference());
    EXPECT_TRUE(feed(at(150), CameraHealth::kReferencePictures - 1, 2).isEmpty());
    EXPECT_FALSE(health.takeNewReference(1, 2));
    feed(at(150), 1, 2);
    EXPECT_TRUE(health.takeNewReference(1, 2));
    EXPECT_FALSE(health.takeNewReference(1, 2));
    EXPECT_DOUBLE_EQ(health.reference(1, 2).brightness, 150);
    EXPECT_TRUE(feed(at(150), 30, 2).isEmpty());
    const QStringList texts = feed(at(195), 60, 2);
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].startsWith(QStringLiteral("Camera 2: image brighter by 2"))) << texts[0].toStdString();
    EXPECT_EQ(health.warnings(1), QStringList{QStringLiteral("Camera 2: image brighter by 30 % since training")});
}

TEST(HealthFiles, ReferenceAndLimitsRoundTrip)
{
    QTemporaryDir dir;
    HealthReference r;
    r.valid = true, r.brightness = 121.5, r.contrast = 33.25, r.focus = 0.0812, r.area = cv::Rect(10, 20, 300, 200);
    ASSERT_TRUE(WriteHealthReference(dir.filePath(QStringLiteral("health.txt")), r));
    const HealthReference back = ReadHealthReference(dir.filePath(QStringLiteral("health.txt")));
    EXPECT_TRUE(back.valid);
    EXPECT_DOUBLE_EQ(back.contrast, 33.25);
    EXPECT_DOUBLE_EQ(back.focus, 0.0812) << "the focus is a small ratio: kept to six digits";
    EXPECT_EQ(back.area, r.area);
    EXPECT_FALSE(ReadHealthReference(dir.filePath(QStringLiteral("missing.txt"))).valid);

    QFile ini(dir.filePath(QStringLiteral("camerahealth.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[limits]\nfocusPercent=55\nshiftPx=-3\n");
    ini.close();
    const HealthLimits l = HealthLimits::Load(ini.fileName());
    EXPECT_EQ(l.focusPercent, 55);
    EXPECT_EQ(l.shiftPx, HealthLimits().shiftPx) << "a nonsense limit keeps the default";
}
