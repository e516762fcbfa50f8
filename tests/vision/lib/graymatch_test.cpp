// Tests of the gray variation model: the band a setter predicts, masks, and the detection quality.
#include "vision/lib/graymatch.h"

#include "vision/lib/blob.h"
#include "vision/lib/testing/photographs.h"
#include "vision/lib/testing/sceneimage.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The NG image as the detection run sees it: opened with an elliptic element of the filter size.
cv::Mat openedNg(const GrayMatch& model, const cv::Mat& patch, int filterSize = 3)
{
    cv::Mat ng, opened;
    EXPECT_TRUE(model.Match(patch, ng));
    const cv::Mat element = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(filterSize, filterSize));
    cv::morphologyEx(ng, opened, cv::MORPH_OPEN, element, cv::Point(-1, -1), 1);
    return opened;
}

cv::Mat uniform(cv::Size size, int gray)
{
    return cv::Mat(size, CV_8UC1, cv::Scalar(gray));
}

} // namespace

// Where the band ends for a given template set, sensitivity and multiplier: the last good and
// the first NG level on each side. The odd width runs both the vector and the tail path.
TEST(GrayMatch, BandLimitsFollowSensitivityAndSpread)
{
    struct Row {
        const char* name;
        std::vector<int> templates;
        int sensitivity;
        double multiplier;
        int lastGoodBelow, lastGoodAbove;
    };
    const Row rows[] = {
        // One template: S = 45 is split 40 : 60 into 18 below and 27 above.
        {"oneTemplate", {100}, 45, 0, 82, 127},
        {"oneTemplateMultiplierIgnored", {100}, 45, 4, 82, 127},
        {"zeroSensitivity", {100}, 0, 0, 100, 100},
        // 90 and 110: mean 100, sigma 10. M = 3 widens both sides to 30.
        {"spreadWidens", {90, 110}, 45, 3, 70, 130},
        // M = 1 gives 10, less than the sensitivity's sides: the band stays 18 / 27.
        {"spreadBelowSensitivity", {90, 110}, 45, 1, 82, 127},
        {"noMultiplier", {90, 110}, 45, 0, 82, 127},
        // The band is clipped at the ends of the gray scale.
        {"clippedHigh", {250}, 45, 0, 232, 255},
        {"clippedLow", {5}, 45, 0, 0, 32},
    };
    const cv::Size size(37, 3);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GrayMatch model;
        ASSERT_TRUE(model.Create(size.width, size.height, cv::Mat(), 0));
        for (int gray : row.templates)
            ASSERT_TRUE(model.AddTemp(uniform(size, gray)));
        ASSERT_TRUE(model.Train(row.sensitivity, row.multiplier, 100, 150));
        ASSERT_TRUE(model.IsValid());
        auto ngPixels = [&](int gray) {
            cv::Mat out;
            model.Match(uniform(size, gray), out);
            return cv::countNonZero(out);
        };
        EXPECT_EQ(ngPixels(row.lastGoodBelow), 0);
        EXPECT_EQ(ngPixels(row.lastGoodAbove), 0);
        if (row.lastGoodBelow > 0) {
            EXPECT_EQ(ngPixels(row.lastGoodBelow - 1), size.area());
        }
        if (row.lastGoodAbove < 255) {
            EXPECT_EQ(ngPixels(row.lastGoodAbove + 1), size.area());
        }
    }
}

// On a random textured template every pixel must be judged by its own band.
TEST(GrayMatch, EveryPixelJudgedByItsOwnReference)
{
    cv::RNG rng(5);
    const cv::Size size(101, 23);
    cv::Mat reference(size, CV_8UC1), delta(size, CV_32SC1);
    rng.fill(reference, cv::RNG::UNIFORM, 40, 200);
    rng.fill(delta, cv::RNG::UNIFORM, -30, 31);
    cv::Mat patch(size, CV_8UC1), expected(size, CV_8UC1);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            const int d = delta.at<int>(y, x);
            patch.at<uchar>(y, x) = cv::saturate_cast<uchar>(reference.at<uchar>(y, x) + d);
            expected.at<uchar>(y, x) = (d < -18 || d > 27) ? 255 : 0;
        }
    GrayMatch model;
    ASSERT_TRUE(model.Create(size.width, size.height, cv::Mat(), 0));
    ASSERT_TRUE(model.AddTemp(reference));
    ASSERT_TRUE(model.Train(45, 0, 100, 150));
    cv::Mat out;
    ASSERT_TRUE(model.Match(patch, out));
    EXPECT_EQ(cv::countNonZero(out != expected), 0);
}

TEST(GrayMatch, PixelsOutsideTheMaskAreNeverNg)
{
    const cv::Size size(60, 40);
    cv::Mat mask = cv::Mat::zeros(size, CV_8UC1);
    cv::circle(mask, cv::Point(30, 20), 15, cv::Scalar(255), cv::FILLED);
    GrayMatch model;
    ASSERT_TRUE(model.Create(size.width, size.height, mask, 0));
    ASSERT_TRUE(model.AddTemp(uniform(size, 100)));
    ASSERT_TRUE(model.Train(45, 0, 100, 150));
    cv::Mat out;
    ASSERT_TRUE(model.Match(uniform(size, 0), out));
    EXPECT_EQ(cv::countNonZero(out != mask), 0);

    // With lighting compensation too: a brighter lamp shifts the band, never past the mask.
    cv::Mat textured(size, CV_8UC1);
    cv::RNG(3).fill(textured, cv::RNG::UNIFORM, 60, 160);
    GrayMatch lit;
    lit.SetLightingCompensation(true);
    ASSERT_TRUE(lit.Create(size.width, size.height, mask, 0));
    ASSERT_TRUE(lit.AddTemp(textured));
    ASSERT_TRUE(lit.Train(45, 0, 100, 150));
    cv::Mat brighter = textured * 1.2 + 30;
    brighter.setTo(0, mask == 0);
    ASSERT_TRUE(lit.Match(brighter, out));
    EXPECT_EQ(cv::countNonZero(out), 0);
}

TEST(GrayMatch, RefusesWhatItCannotJudge)
{
    GrayMatch model;
    cv::Mat out;
    EXPECT_FALSE(model.IsValid());
    EXPECT_FALSE(model.Match(uniform({20, 10}, 0), out));
    EXPECT_EQ(cv::countNonZero(out), 0);

    EXPECT_FALSE(model.Create(20, 10, uniform({21, 10}, 255), 0)) << "mask of another size";
    ASSERT_TRUE(model.Create(20, 10, cv::Mat(), 0));
    EXPECT_FALSE(model.Train(45, 1, 100, 150)) << "no templates";
    EXPECT_FALSE(model.AddTemp(uniform({21, 10}, 0))) << "template of another size";
    ASSERT_TRUE(model.AddTemp(uniform({20, 10}, 100)));
    ASSERT_TRUE(model.Train(45, 1, 100, 150));
    EXPECT_FALSE(model.Match(uniform({20, 11}, 100), out)) << "patch of another size";
    EXPECT_EQ(out.size(), cv::Size(20, 10));
    EXPECT_EQ(cv::countNonZero(out), 0);

    model.Clear();
    EXPECT_FALSE(model.IsValid());
    EXPECT_EQ(model.templateCount(), 0);
}

// Trained on 10 aligned good images (sensor noise sigma 3, sensitivity 45) over a 600 x 400
// region of a textured scene: 20 further good images give no NG pixel after the opening of the
// detection run, and a 6 x 6 defect of contrast 40, darker or brighter, is found every time. The
// station's "Amplify" setting goes from 0 to 4; the bar holds for each.
TEST(GrayMatch, QualityOnNoisyScenes)
{
    const SceneImage::Scene scene(cv::Size(1280, 1024), 21);
    const cv::Rect region(340, 300, 600, 400);
    std::vector<cv::Mat> templates;
    for (int i = 0; i < 10; ++i) {
        cv::Mat image = scene.reference().clone();
        SceneImage::addNoise(image, 3.0, 1000 + i);
        templates.push_back(image);
    }
    for (int multiplier = 0; multiplier <= 4; ++multiplier) {
        SCOPED_TRACE(multiplier);
        GrayMatch model;
        ASSERT_TRUE(model.Create(region.width, region.height, cv::Mat(), 0));
        for (const cv::Mat& t : templates)
            ASSERT_TRUE(model.AddTemp(t(region)));
        ASSERT_TRUE(model.Train(45, multiplier, 100, 150));

        cv::RNG rng(77 + multiplier);
        int falsePixels = 0, found = 0;
        for (int i = 0; i < 20; ++i) {
            cv::Mat good = scene.reference().clone();
            SceneImage::addNoise(good, 3.0, 2000 + 100 * multiplier + i);
            falsePixels += cv::countNonZero(openedNg(model, good(region)));

            cv::Mat bad = scene.reference().clone();
            const cv::Point at(region.x + rng.uniform(0, region.width - 6),
                               region.y + rng.uniform(0, region.height - 6));
            SceneImage::addDefect(bad, at, 6, i % 2 ? 40 : -40);
            SceneImage::addNoise(bad, 3.0, 3000 + 100 * multiplier + i);
            const cv::Mat ng = openedNg(model, bad(region));
            const CBlobResult blobs(ng, nullptr, 0);
            const cv::Rect defect(at - region.tl(), cv::Size(6, 6));
            bool hit = false;
            for (const CBlob& blob : blobs.blobs())
                hit = hit || (blob.GetBoundingBox() & defect).area() > 0;
            found += hit;
            // Nothing but the defect may show.
            EXPECT_EQ(cv::countNonZero(ng) - cv::countNonZero(ng(defect)), 0);
        }
        EXPECT_EQ(falsePixels, 0);
        EXPECT_EQ(found, 20);
    }
}

namespace {

// A flaw's gray: 60 levels away from the local mean, towards the middle of the scale.
int contrasting(const cv::Mat& image, const cv::Rect& area)
{
    const double local = cv::mean(image(area))[0];
    return int(local < 128 ? local + 60 : local - 60);
}

} // namespace

// Real photographs under a changed lamp: gain 0.9..1.1 and offset -25..+25 over the whole image,
// sensor noise sigma 3. Trained on five good images at the factory setting (sensitivity 45,
// multiplier 0, filter size 3, alarm area 100). With lighting compensation the good image stays
// OK in every lighting, and each flaw alone makes the region NG where it lies: a 40 x 40 missing
// area (flat mould floor shows), a 24 x 24 foreign object, a 3 x 60 scratch 50 levels brighter or darker
// (towards the middle of the scale).
// Without it the same good image is NG as soon as the light changes.
class LightingCompensation : public ::testing::TestWithParam<const char*> {};

TEST_P(LightingCompensation, QuietUnderChangedLightAndStillFindsFlaws)
{
    const cv::Mat photo = Photographs::gray(GetParam());
    ASSERT_FALSE(photo.empty()) << Photographs::missingHint();
    const cv::Size size(240, 200);
    const cv::Rect region((photo.cols - size.width) / 2, (photo.rows - size.height) / 2, size.width, size.height);
    GrayMatch model;
    model.SetLightingCompensation(true);
    GrayMatch absolute;
    ASSERT_TRUE(model.Create(size.width, size.height, cv::Mat(), 0));
    ASSERT_TRUE(absolute.Create(size.width, size.height, cv::Mat(), 0));
    for (int i = 0; i < 5; ++i) {
        cv::Mat good = photo.clone();
        SceneImage::addNoise(good, 3.0, 100 + i);
        ASSERT_TRUE(model.AddTemp(good(region)));
        ASSERT_TRUE(absolute.AddTemp(good(region)));
    }
    ASSERT_TRUE(model.Train(45, 0, 100, 150));
    ASSERT_TRUE(absolute.Train(45, 0, 100, 150));

    const cv::Rect missing(region.x + 30, region.y + 40, 40, 40);
    const cv::Rect foreign(region.x + 150, region.y + 50, 24, 24);
    const cv::Rect scratch(region.x + 90, region.y + 150, 60, 3);
    struct Flaw {
        const char* name;
        cv::Rect area;  // image coordinates; empty = a good image
    };
    const Flaw flaws[] = {{"good", {}}, {"missing40", missing}, {"foreign24", foreign}, {"scratch3x60", scratch}};
    struct Light {
        double gain, offset;
        bool absoluteNg;  // the absolute band alone already fails the good image
    };
    const Light lights[] = {{1.0, 0.0, false},  {1.1, 25.0, true},  {1.1, -25.0, false},
                            {0.9, 25.0, false}, {0.9, -25.0, true}, {1.0, 25.0, false},
                            {1.0, -25.0, true}, {1.1, 0.0, false},  {0.9, 0.0, false}};
    auto ngArea = [](const cv::Mat& opened) { return cv::countNonZero(opened); };
    for (const Light& light : lights) {
        for (const Flaw& flaw : flaws) {
            SCOPED_TRACE(std::string(flaw.name) + " gain " + std::to_string(light.gain) + " offset "
                         + std::to_string(light.offset));
            cv::Mat image = photo.clone();
            if (flaw.area == missing)
                image(missing).setTo(contrasting(photo, missing));
            else if (flaw.area == foreign)
                SceneImage::paintForeignObject(image, cv::RotatedRect(cv::Point2f(foreign.x + 11.5f, foreign.y + 11.5f),
                                                                      cv::Size2f(24, 24), 0),
                                               contrasting(photo, foreign), 5);
            else if (flaw.area == scratch)
                image(scratch) += cv::Scalar(contrasting(photo, scratch) > cv::mean(photo(scratch))[0] ? 50 : -50);
            // Sensor noise comes before the clipping at the ends of the scale, as in a camera.
            SceneImage::addNoise(image, 3.0, 900);
            SceneImage::applyIllumination(image, light.gain, light.offset);
            const cv::Mat opened = openedNg(model, image(region));
            if (flaw.area.empty()) {
                EXPECT_LE(ngArea(opened), 100) << "false NG";
                if (light.absoluteNg) {
                    EXPECT_GT(ngArea(openedNg(absolute, image(region))), 100) << "absolute band";
                }
            } else {
                const cv::Rect inRegion = flaw.area - region.tl();
                EXPECT_GT(ngArea(opened), 100) << "flaw missed";
                EXPECT_GT(cv::countNonZero(opened(inRegion)), 0) << "NG elsewhere";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Photographs, LightingCompensation,
                         ::testing::Values("baboon.jpg", "fruits.jpg", "building.jpg", "home.jpg", "messi5.jpg",
                                           "box_in_scene.png", "starry_night.jpg", "board.jpg"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

// The fit itself: a known lighting is found, and a flaw over a fifth of the region does not move
// it. What no lamp does is not compensated: a gain of 2, or a uniform object over the whole region.
TEST(GrayMatch, LightingFitIgnoresAFlawAndRefusesWhatIsNoLamp)
{
    const cv::Mat photo = Photographs::gray("baboon.jpg");
    ASSERT_FALSE(photo.empty()) << Photographs::missingHint();
    const cv::Rect region(136, 156, 240, 200);
    GrayMatch model;
    ASSERT_TRUE(model.Create(region.width, region.height, cv::Mat(), 0));
    ASSERT_TRUE(model.AddTemp(photo(region)));
    ASSERT_TRUE(model.Train(45, 0, 100, 150));
    struct Row {
        const char* name;
        double gain, offset;
        int coverGray;  // -1: a flaw over a fifth of the region; else the whole region in this gray
        double fittedGain, fittedOffset;
    };
    const Row rows[] = {
        {"brighter", 1.1, 25.0, -1, 1.1, 25.0},
        {"darker", 0.9, -25.0, -1, 0.9, -25.0},
        {"strongLamp", 1.3, -40.0, -1, 1.3, -40.0},
        {"noLamp", 2.0, 0.0, -1, 1.0, 0.0},
        {"coveredWhole", 1.0, 0.0, 140, 1.0, 0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        cv::Mat image = photo.clone();
        if (row.coverGray < 0)
            image(cv::Rect(region.x, region.y, 96, 100)).setTo(250);
        else
            image(region).setTo(row.coverGray);
        SceneImage::applyIllumination(image, row.gain, row.offset);
        const GrayMatch::Lighting lit = model.FitLighting(image(region));
        EXPECT_NEAR(lit.gain, row.fittedGain, 0.03);
        EXPECT_NEAR(lit.offset, row.fittedOffset, 3.0);
    }
}

// A uniform region cannot tell a lamp from a uniform part over all of it: it keeps its absolute band.
TEST(GrayMatch, UniformRegionIsNotCompensated)
{
    const cv::Size size(80, 60);
    cv::Mat floor = uniform(size, 100);
    SceneImage::addNoise(floor, 2.0, 4);
    GrayMatch model;
    model.SetLightingCompensation(true);
    ASSERT_TRUE(model.Create(size.width, size.height, cv::Mat(), 0));
    ASSERT_TRUE(model.AddTemp(floor));
    ASSERT_TRUE(model.Train(45, 0, 100, 150));
    cv::Mat out;
    ASSERT_TRUE(model.Match(uniform(size, 140), out));
    EXPECT_EQ(cv::countNonZero(out), size.area());
}

// A compacted model marks the same pixels as before and refuses further templates and training
// without losing its limits.
TEST(GrayMatch, CompactKeepsTheTrainedLimits)
{
    const cv::Size size(33, 20);
    cv::Mat mask = uniform(size, 255);
    mask(cv::Rect(0, 0, 5, 20)).setTo(0);
    GrayMatch model;
    ASSERT_TRUE(model.Create(size.width, size.height, mask, 0));
    ASSERT_TRUE(model.AddTemp(uniform(size, 100)));
    ASSERT_TRUE(model.AddTemp(uniform(size, 110)));
    ASSERT_TRUE(model.Train(45, 1, 100, 150));
    cv::Mat patch = uniform(size, 105);
    patch(cv::Rect(2, 2, 20, 6)).setTo(200);  // partly under the mask's hole
    cv::Mat before, after;
    ASSERT_TRUE(model.Match(patch, before));

    model.Compact();
    ASSERT_TRUE(model.IsValid());
    ASSERT_TRUE(model.Match(patch, after));
    EXPECT_EQ(cv::norm(before, after, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::countNonZero(after), 17 * 6);
    EXPECT_FALSE(model.AddTemp(uniform(size, 100)));
    EXPECT_FALSE(model.Train(10, 0, 100, 150));
    EXPECT_TRUE(model.IsValid());
    ASSERT_TRUE(model.Match(patch, after));
    EXPECT_EQ(cv::norm(before, after, cv::NORM_INF), 0.0);
}
