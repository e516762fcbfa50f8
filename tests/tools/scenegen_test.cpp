// The synthetic mould scenes: repeatable by seed, parts and faults where they belong, variation kept small.
#include "tools/scenegen/mouldscene.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using scenegen::Fault;
using scenegen::MouldOptions;
using scenegen::MouldView;
using scenegen::Shot;
using scenegen::Stage;

namespace {

MouldOptions smallMould(uint64_t seed = 7, int cavities = 4)
{
    MouldOptions o;
    o.size = {320, 256};
    o.cavities = cavities;
    o.seed = seed;
    return o;
}

Shot shot(Stage stage, uint64_t number, Fault fault = Fault::None, int cavity = 0)
{
    Shot s;
    s.stage = stage;
    s.number = number;
    s.fault = fault;
    s.faultCavity = cavity;
    return s;
}

cv::Mat absDiff(const cv::Mat &a, const cv::Mat &b)
{
    cv::Mat d;
    cv::absdiff(a, b, d);
    return d;
}

double meanIn(const cv::Mat &image, const cv::Mat &mask)
{
    return cv::mean(image, mask)[0];
}

// Mask of the cavities, grown by `margin` pixels.
cv::Mat cavityMask(const MouldView &view, int margin)
{
    cv::Mat mask = cv::Mat::zeros(view.options().size, CV_8U);
    for (const cv::Rect &c : view.cavityRects())
        cv::rectangle(mask, cv::Rect(c.x - margin, c.y - margin, c.width + 2 * margin, c.height + 2 * margin),
                      cv::Scalar(255), cv::FILLED);
    return mask;
}

}  // namespace

TEST(MouldScene, SameSeedAndShotRepeatExactlyOthersDiffer)
{
    const MouldView view(smallMould(7), 0);
    const cv::Mat first = view.render(shot(Stage::Product, 3));
    EXPECT_EQ(cv::norm(first, MouldView(smallMould(7), 0).render(shot(Stage::Product, 3)), cv::NORM_INF), 0.0);

    struct Row
    {
        const char *name;
        cv::Mat other;
    };
    const Row rows[] = {
        {"otherSeed", MouldView(smallMould(8), 0).render(shot(Stage::Product, 3))},
        {"otherCamera", MouldView(smallMould(7), 1).render(shot(Stage::Product, 3))},
        {"otherShot", view.render(shot(Stage::Product, 4))},
    };
    for (const Row &row : rows)
        EXPECT_GT(cv::mean(absDiff(first, row.other))[0], 1.0) << row.name;
}

TEST(MouldScene, ImageFormatFollowsTheOptions)
{
    MouldOptions colour = smallMould();
    colour.colour = true;
    const cv::Mat c = MouldView(colour, 0).render(shot(Stage::Product, 1));
    EXPECT_EQ(c.type(), CV_8UC3);
    EXPECT_EQ(c.size(), cv::Size(320, 256));
    // colour plastic: the channels differ inside the cavities, not merely a gray copied three times
    std::vector<cv::Mat> ch;
    cv::split(c, ch);
    const MouldView view(colour, 0);
    EXPECT_GT(meanIn(absDiff(ch[0], ch[2]), cavityMask(view, -8)), 20.0);

    const cv::Mat g = MouldView(smallMould(), 0).render(shot(Stage::Product, 1));
    EXPECT_EQ(g.type(), CV_8UC1);
    MouldOptions big;
    EXPECT_EQ(big.size, cv::Size(1280, 1024));
}

TEST(MouldScene, CavitiesLieInsideTheImageWithoutOverlap)
{
    for (int n : {1, 2, 4, 6, 8, 16}) {
        const MouldView view(smallMould(3, n), 0);
        ASSERT_EQ(static_cast<int>(view.cavityRects().size()), n);
        const cv::Rect image(0, 0, 320, 256);
        for (int i = 0; i < n; ++i) {
            const cv::Rect a = view.cavityRects()[i];
            EXPECT_EQ(a & image, a) << n << " cavities, cavity " << i;
            EXPECT_GT(a.area(), 0);
            for (int j = i + 1; j < n; ++j)
                EXPECT_TRUE((a & view.cavityRects()[j]).empty()) << n << " cavities, " << i << " and " << j;
        }
    }
}

TEST(MouldScene, PartsChangeTheCavitiesStronglyAndTheSteelHardly)
{
    const MouldView view(smallMould(), 0);
    const cv::Mat product = view.render(shot(Stage::Product, 5));
    const cv::Mat mould = view.render(shot(Stage::Mould, 5));
    const cv::Mat d = absDiff(product, mould);
    const int margin = static_cast<int>(MouldView::kMaxShift) + 8;
    cv::Mat outside;
    cv::bitwise_not(cavityMask(view, margin), outside);
    EXPECT_GT(meanIn(d, cavityMask(view, -6)), 30.0) << "a part must stand out from the empty cavity";
    EXPECT_LT(meanIn(d, outside), 0.5) << "outside the cavities the two stages of one shot are alike";

    // From shot to shot the camera shifts a little and the light drifts: visible, but small.
    const cv::Mat later = view.render(shot(Stage::Mould, 40));
    const double drift = meanIn(absDiff(mould, later), outside);
    EXPECT_GT(drift, 1.0);
    EXPECT_LT(drift, 20.0);

    // The reference view has neither shift nor noise.
    Shot ref = shot(Stage::Mould, 5);
    ref.vary = false;
    Shot ref2 = shot(Stage::Mould, 9);
    ref2.vary = false;
    EXPECT_EQ(cv::norm(view.render(ref), view.render(ref2), cv::NORM_INF), 0.0);
}

TEST(MouldScene, EachFaultChangesItsOwnAreaAndNothingElse)
{
    const MouldView view(smallMould(11, 4), 0);
    const int cavity = 2;
    struct Row
    {
        Fault fault;
        Stage stage;
        double minChangedShare;  // of the fault area
    };
    const Row rows[] = {
        {Fault::PartLeft, Stage::Mould, 0.35},
        {Fault::ShortShot, Stage::Product, 0.12},
        {Fault::Sprue, Stage::Mould, 0.08},
        {Fault::ForeignObject, Stage::Mould, 0.05},
        {Fault::WrongWay, Stage::Product, 0.10},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(scenegen::faultName(row.fault));
        EXPECT_EQ(scenegen::faultStage(row.fault), row.stage);
        const cv::Mat good = view.render(shot(row.stage, 2));
        const cv::Mat bad = view.render(shot(row.stage, 2, row.fault, cavity));
        cv::Mat changed;
        cv::threshold(absDiff(good, bad), changed, 25, 255, cv::THRESH_BINARY);
        const cv::Rect area = view.faultArea(row.fault, cavity);
        ASSERT_FALSE(area.empty());
        const int slack = static_cast<int>(MouldView::kMaxShift) + 2;
        const cv::Rect grown(area.x - slack, area.y - slack, area.width + 2 * slack, area.height + 2 * slack);
        cv::Mat inside = cv::Mat::zeros(changed.size(), CV_8U);
        cv::rectangle(inside, grown, cv::Scalar(255), cv::FILLED);
        cv::Mat stray;
        cv::bitwise_and(changed, ~inside, stray);
        EXPECT_EQ(cv::countNonZero(stray), 0) << "changes outside the fault area";
        EXPECT_GT(cv::countNonZero(changed), row.minChangedShare * area.area());

        // The same fault kind shown at the other stage leaves that stage's picture alone,
        // except leftovers, which lie in the mould at both stages.
        const Stage other = row.stage == Stage::Product ? Stage::Mould : Stage::Product;
        const double otherChange =
            cv::norm(view.render(shot(other, 2)), view.render(shot(other, 2, row.fault, cavity)), cv::NORM_INF);
        if (row.fault == Fault::Sprue || row.fault == Fault::ForeignObject)
            EXPECT_GT(otherChange, 25.0);
        else
            EXPECT_EQ(otherChange, 0.0);
    }
    EXPECT_TRUE(view.faultArea(Fault::None, 0).empty());
    EXPECT_TRUE(view.faultArea(Fault::Sprue, 4).empty());
}

namespace {

// Pixels of `image` that leave the reference's local gray range (a 9 x 9 neighbourhood, so the
// camera's small shifts do not count) by more than the light drift can explain.
int changedBeyondVariation(const cv::Mat &reference, const cv::Mat &image, const cv::Rect &area)
{
    const cv::Mat k = cv::getStructuringElement(cv::MORPH_RECT, {9, 9});
    cv::Mat low, high, below, above;
    cv::erode(reference, low, k);
    cv::dilate(reference, high, k);
    cv::subtract(low, image, below);
    cv::subtract(image, high, above);
    cv::Mat changed = (below > 35) | (above > 35);
    cv::morphologyEx(changed, changed, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_RECT, {3, 3}));
    return cv::countNonZero(changed(area));
}

}  // namespace

TEST(MouldScene, EveryFaultStandsOutAboveTheShotToShotVariation)
{
    const MouldView view(smallMould(21, 4), 0);
    const cv::Rect image(0, 0, 320, 256);
    for (Stage stage : {Stage::Product, Stage::Mould}) {
        Shot ref = shot(stage, 0);
        ref.vary = false;
        const cv::Mat reference = view.render(ref);
        int worstGood = 0;
        for (uint64_t n = 1; n <= 20; ++n) {
            const cv::Mat good = view.render(shot(stage, n));
            for (int c = 0; c < 4; ++c)
                worstGood = std::max(worstGood, changedBeyondVariation(reference, good, view.faultArea(Fault::PartLeft, c)));
        }
        EXPECT_LE(worstGood, 10) << scenegen::stageName(stage);
        for (Fault fault : scenegen::kFaultKinds) {
            if (scenegen::faultStage(fault) != stage)
                continue;
            for (int c = 0; c < 4; ++c) {
                const cv::Rect area = (view.faultArea(Fault::PartLeft, c) | view.faultArea(fault, c)) & image;
                const cv::Mat bad = view.render(shot(stage, 3 + c, fault, c));
                EXPECT_GE(changedBeyondVariation(reference, bad, area), 50)
                    << scenegen::faultName(fault) << " in cavity " << c;
            }
        }
    }
}

TEST(MouldScene, FaultNamesRoundTrip)
{
    for (Fault f : scenegen::kFaultKinds) {
        Fault parsed = Fault::None;
        ASSERT_TRUE(scenegen::parseFault(scenegen::faultName(f), &parsed));
        EXPECT_EQ(parsed, f);
    }
    Fault parsed = Fault::Sprue;
    EXPECT_FALSE(scenegen::parseFault("flash", &parsed));
    EXPECT_EQ(parsed, Fault::Sprue);
}
