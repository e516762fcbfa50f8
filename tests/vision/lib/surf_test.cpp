// Tests of the similarity model: scores for good, shifted and re-lit parts, missing parts and foreign objects.
#include "vision/lib/surf.h"

#include "vision/lib/testing/sceneimage.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

using SceneImage::Pose;

namespace {

// A mould scene with one large moulded part in the middle of the similarity region.
struct SimilarityScene
{
    SimilarityScene() : scene(cv::Size(1280, 1024), 7)
    {
        SceneImage::Part part;
        part.shape = SceneImage::PartShape::Polygon;
        part.centre = {640, 510};
        part.gray = 112;
        part.outline = {{-150, -90}, {60, -100}, {150, -20}, {120, 95}, {-40, 100}, {-140, 40}};
        scene.addPart(part);
    }

    cv::Mat shot(const SceneImage::Scene& s, cv::RNG& rng, double maxShift, double gainLow, double gainHigh,
                 std::uint64_t noiseSeed) const
    {
        Pose pose;
        pose.centre = {640, 512};
        pose.shift = {rng.uniform(-maxShift, maxShift), rng.uniform(-maxShift, maxShift)};
        cv::Mat image = s.render(pose);
        SceneImage::applyIllumination(image, rng.uniform(gainLow, gainHigh), 0);
        SceneImage::addNoise(image, 3.0, noiseSeed);
        return image;
    }

    // Ten good templates: noise and the sub-pixel jitter of a corrected position.
    void train(SURF& model, const cv::Rect& region, const cv::Mat& mask = cv::Mat(), int minScore = 80) const
    {
        cv::RNG rng(11);
        ASSERT_TRUE(model.Create(region.width, region.height, mask));
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(model.AddTemp(shot(scene, rng, 1.0, 1.0, 1.0, 100 + i)(region), 1, 50, minScore));
        ASSERT_TRUE(model.Train(0, 0, 0, 0));
    }

    SceneImage::Scene scene;
    const cv::Rect region{440, 360, 400, 300};
};

} // namespace

TEST(Surf, TemplateItselfScoresHundred)
{
    SimilarityScene s;
    SURF model;
    ASSERT_TRUE(model.Create(s.region.width, s.region.height, cv::Mat()));
    std::vector<cv::Mat> cuts;
    cv::RNG rng(3);
    for (int i = 0; i < 3; ++i) {
        cuts.push_back(s.shot(s.scene, rng, 1.0, 0.9, 1.1, 40 + i)(s.region).clone());
        ASSERT_TRUE(model.AddTemp(cuts.back(), 1, 50, 80));
    }
    ASSERT_TRUE(model.Train(0, 0, 0, 0));
    cv::Mat out;
    for (const cv::Mat& cut : cuts)
        EXPECT_FLOAT_EQ(model.Match(cut, out), 100.f);
}

// Good parts shifted up to 3 px with gain 0.8 .. 1.2 score 90 or more; a missing part or a
// foreign object over a quarter of the region scores below 60.
TEST(Surf, QualityBars)
{
    SimilarityScene s;
    SURF model;
    s.train(model, s.region);
    cv::Mat out;
    cv::RNG rng(19);

    float worstGood = 100.f;
    for (int i = 0; i < 30; ++i)
        worstGood = std::min(worstGood, model.Match(s.shot(s.scene, rng, 3.0, 0.8, 1.2, 500 + i)(s.region), out));
    EXPECT_GE(worstGood, 90.f);

    SceneImage::Scene missing = s.scene;
    missing.removePart(int(missing.parts().size()) - 1);
    float worstMissing = 0.f;
    for (int i = 0; i < 10; ++i)
        worstMissing = std::max(worstMissing, model.Match(s.shot(missing, rng, 3.0, 0.8, 1.2, 900 + i)(s.region), out));
    EXPECT_LT(worstMissing, 60.f);

    // A broken part: its right third is gone. It must fall below the default minimum score 80.
    SceneImage::Scene broken = s.scene;
    SceneImage::Part part = broken.parts().back();
    broken.removePart(int(broken.parts().size()) - 1);
    part.outline = {{-150, -90}, {50, -100}, {50, 100}, {-40, 100}, {-140, 40}};
    broken.addPart(part);
    float worstBroken = 0.f;
    for (int i = 0; i < 10; ++i)
        worstBroken = std::max(worstBroken, model.Match(s.shot(broken, rng, 3.0, 0.8, 1.2, 1200 + i)(s.region), out));
    EXPECT_LT(worstBroken, 80.f);

    // Foreign objects stand out from the mould: dark (20..50) or bright (150..210).
    float worstForeign = 0.f;
    for (int i = 0; i < 30; ++i) {
        Pose pose;
        pose.centre = {640, 512};
        pose.shift = {rng.uniform(-3.0, 3.0), rng.uniform(-3.0, 3.0)};
        cv::Mat image = s.scene.render(pose);
        SceneImage::applyIllumination(image, rng.uniform(0.8, 1.2), 0);
        const int gray = i % 2 ? rng.uniform(20, 51) : rng.uniform(150, 211);
        SceneImage::paintForeignObject(image, SceneImage::coveringBox(s.region, 0.25, pose, rng), gray, 700 + i);
        SceneImage::addNoise(image, 3.0, 1500 + i);
        worstForeign = std::max(worstForeign, model.Match(image(s.region), out));
    }
    EXPECT_LT(worstForeign, 60.f);
}

// The same bars on smaller regions anywhere in the scene, where no reduction takes place.
TEST(Surf, QualityOnSmallRegions)
{
    SimilarityScene s;
    const cv::Rect regions[] = {{100, 120, 90, 110}, {900, 700, 104, 68}, {600, 80, 184, 89}, {300, 800, 69, 102}};
    cv::RNG rng(23);
    cv::Mat out;
    for (const cv::Rect& region : regions) {
        SCOPED_TRACE(region.x);
        SURF model;
        s.train(model, region);
        for (int i = 0; i < 10; ++i) {
            EXPECT_GE(model.Match(s.shot(s.scene, rng, 3.0, 0.8, 1.2, 600 + i)(region), out), 90.f);
            cv::Mat image = s.scene.render(Pose{});
            const int gray = i % 2 ? rng.uniform(20, 51) : rng.uniform(150, 211);
            SceneImage::paintForeignObject(image, SceneImage::coveringBox(region, 0.25, Pose{}, rng), gray, 800 + i);
            SceneImage::addNoise(image, 3.0, 1600 + i);
            EXPECT_LT(model.Match(image(region), out), 60.f);
        }
    }
}

// Below the minimum score the NG image marks where the cut differs, inside the mask only;
// at or above it the NG image stays empty.
TEST(Surf, NgImageShowsTheDifferenceOnlyWhenBelowMinimum)
{
    SimilarityScene s;
    cv::Mat mask(s.region.size(), CV_8UC1, cv::Scalar(255));
    mask(cv::Rect(300, 0, 100, 300)).setTo(0); // right quarter not compared
    SURF model;
    s.train(model, s.region, mask, 80);

    cv::Mat image = s.scene.reference().clone();
    const cv::Rect object(s.region.x + 40, s.region.y + 30, 150, 120);
    image(object).setTo(30);
    cv::Mat out;
    const float score = model.Match(image(s.region), out);
    ASSERT_LT(score, 80.f);
    ASSERT_EQ(out.size(), s.region.size());
    const cv::Rect local = object - s.region.tl();
    EXPECT_GT(cv::countNonZero(out(local)), local.area() / 2);
    // Cells are 40 px wide at this region size; marks stay within one cell of the object.
    const cv::Rect near = (local + cv::Size(80, 80) - cv::Point(40, 40)) & cv::Rect(cv::Point(), s.region.size());
    EXPECT_EQ(cv::countNonZero(out) - cv::countNonZero(out(near)), 0);

    // The same object in the part of the region that the mask leaves out changes nothing.
    cv::Mat hidden = s.scene.reference().clone();
    hidden(cv::Rect(s.region.x + 310, s.region.y + 50, 80, 200)).setTo(30);
    EXPECT_GE(model.Match(hidden(s.region), out), 90.f);
    EXPECT_EQ(cv::countNonZero(out), 0);
}

TEST(Surf, UntrainedOrMisfittingGivesZero)
{
    SURF model;
    cv::Mat out;
    const cv::Mat patch(50, 60, CV_8UC1, cv::Scalar(90));
    EXPECT_FALSE(model.IsValid());
    EXPECT_EQ(model.Match(patch, out), 0.f);

    ASSERT_TRUE(model.Create(60, 50, cv::Mat()));
    EXPECT_FALSE(model.Train(0, 0, 0, 0)) << "no templates";
    EXPECT_FALSE(model.AddTemp(cv::Mat(51, 60, CV_8UC1), 1, 50, 80));
    ASSERT_TRUE(model.AddTemp(patch, 1, 50, 80));
    ASSERT_TRUE(model.Train(0, 0, 0, 0));
    EXPECT_EQ(model.Match(cv::Mat(50, 61, CV_8UC1, cv::Scalar(90)), out), 0.f);
    EXPECT_EQ(out.size(), cv::Size(60, 50));
    EXPECT_EQ(model.Match(patch, out), 100.f);

    model.Clear();
    EXPECT_FALSE(model.IsValid());
    EXPECT_EQ(model.Match(patch, out), 0.f);
}

// A region wholly under an ignore area has nothing to compare and never alarms; a mask thinner
// than the reduction is still compared.
TEST(Surf, EmptyAndThinMasks)
{
    SimilarityScene s;
    cv::Mat out;
    cv::Mat changed = s.scene.reference().clone();
    changed(s.region).setTo(30);

    SURF ignored;
    s.train(ignored, s.region, cv::Mat::zeros(s.region.size(), CV_8UC1));
    EXPECT_TRUE(ignored.IsValid());
    EXPECT_EQ(ignored.Match(changed(s.region), out), 100.f);

    // A 2 px line across the part's edge.
    cv::Mat line = cv::Mat::zeros(s.region.size(), CV_8UC1);
    line(cv::Rect(0, 150, 400, 2)).setTo(255);
    SURF thin;
    s.train(thin, s.region, line);
    EXPECT_GE(thin.Match(s.scene.reference()(s.region), out), 90.f);
    EXPECT_LT(thin.Match(changed(s.region), out), 60.f);
}
