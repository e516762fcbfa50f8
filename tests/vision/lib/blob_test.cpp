// Tests of blob extraction, pixel conversions and clamping into the image.
#include "vision/lib/blob.h"
#include "vision/lib/checkrange.h"
#include "vision/lib/imageconv.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

namespace {

using BlobRow = std::tuple<int, int, int, int, int>; // area, x, y, width, height

std::vector<BlobRow> rows(const CBlobResult& result)
{
    std::vector<BlobRow> out;
    for (int i = 0; i < result.GetNumBlobs(); ++i) {
        const cv::Rect r = result.GetBlob(i).GetBoundingBox();
        out.emplace_back(int(result.GetBlob(i).Area()), r.x, r.y, r.width, r.height);
    }
    return out;
}

cv::Mat fromText(const std::vector<const char*>& lines)
{
    cv::Mat image = cv::Mat::zeros(int(lines.size()), int(std::strlen(lines[0])), CV_8UC1);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            image.at<uchar>(y, x) = lines[y][x] == '#' ? 255 : 0;
    return image;
}

} // namespace

TEST(Blob, SmallPatterns)
{
    struct Row {
        const char* name;
        std::vector<const char*> image;
        std::vector<BlobRow> expected; // in the order of the first pixel
    };
    const std::vector<Row> table = {
        {"empty", {"....", "...."}, {}},
        {"full", {"###", "###"}, {{6, 0, 0, 3, 2}}},
        {"diagonalNeighboursJoin", {"#..", ".#.", "..#"}, {{3, 0, 0, 3, 3}}},
        {"antiDiagonalJoins", {"..#", ".#.", "#.."}, {{3, 0, 0, 3, 3}}},
        {"gapOfOneSeparates", {"#.#", "#.#"}, {{2, 0, 0, 1, 2}, {2, 2, 0, 1, 2}}},
        {"uShapeMergesBelow", {"#...#", "#...#", "#####"}, {{9, 0, 0, 5, 3}}},
        {"firstPixelOrder", {"......#", ".......", "#......"}, {{1, 6, 0, 1, 1}, {1, 0, 2, 1, 1}}},
        {"ringWithHole", {"#####", "#...#", "#.#.#", "#...#", "#####"},
         {{16, 0, 0, 5, 5}, {1, 2, 2, 1, 1}}},
        {"longRunsPastWordSteps", {"..................###.", "................##....", "#....................#"},
         {{5, 16, 0, 5, 2}, {1, 0, 2, 1, 1}, {1, 21, 2, 1, 1}}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const CBlobResult result(fromText(row.image), nullptr, 0);
        EXPECT_EQ(rows(result), row.expected);
    }
}

TEST(Blob, BackgroundValueAndMask)
{
    cv::Mat image(4, 10, CV_8UC1, cv::Scalar(255));
    image(cv::Rect(1, 1, 3, 2)).setTo(0);
    image(cv::Rect(6, 1, 2, 2)).setTo(7);
    const CBlobResult onWhite(image, nullptr, 255);
    EXPECT_EQ(rows(onWhite), (std::vector<BlobRow>{{6, 1, 1, 3, 2}, {4, 6, 1, 2, 2}}));

    cv::Mat mask = cv::Mat::zeros(image.size(), CV_8UC1);
    mask(cv::Rect(5, 0, 5, 4)).setTo(1);
    const CBlobResult masked(image, &mask, 255);
    EXPECT_EQ(rows(masked), (std::vector<BlobRow>{{4, 6, 1, 2, 2}}));

    EXPECT_EQ(onWhite.GetBlob(2).Area(), 0.0);
    EXPECT_EQ(onWhite.GetBlob(-1).Area(), 0.0);
    EXPECT_EQ(CBlobResult(cv::Mat(), nullptr, 0).GetNumBlobs(), 0);
}

// Random NG images of several densities give the same blobs as OpenCV's labelling.
TEST(Blob, AgreesWithConnectedComponents)
{
    cv::RNG rng(9);
    const cv::Size sizes[] = {{1280, 1024}, {333, 97}, {7, 300}};
    const double densities[] = {0.001, 0.05, 0.3, 0.55};
    for (const cv::Size& size : sizes) {
        for (double density : densities) {
            SCOPED_TRACE(testing::Message() << size << " density " << density);
            cv::Mat noise(size, CV_32F), image;
            rng.fill(noise, cv::RNG::UNIFORM, 0.0, 1.0);
            image = noise < density;
            // Some larger shapes too, as an opened NG image has.
            for (int i = 0; i < 5; ++i)
                cv::circle(image, cv::Point(rng.uniform(0, size.width), rng.uniform(0, size.height)),
                           rng.uniform(2, 40), cv::Scalar(255), cv::FILLED);
            cv::Mat labels, stats, centroids;
            const int n = cv::connectedComponentsWithStats(image, labels, stats, centroids, 8, CV_32S);
            std::vector<BlobRow> expected;
            for (int i = 1; i < n; ++i)
                expected.emplace_back(stats.at<int>(i, cv::CC_STAT_AREA), stats.at<int>(i, cv::CC_STAT_LEFT),
                                      stats.at<int>(i, cv::CC_STAT_TOP), stats.at<int>(i, cv::CC_STAT_WIDTH),
                                      stats.at<int>(i, cv::CC_STAT_HEIGHT));
            std::vector<BlobRow> got = rows(CBlobResult(image, nullptr, 0));
            // Our order is by first pixel; compare as sets.
            std::sort(expected.begin(), expected.end());
            std::sort(got.begin(), got.end());
            EXPECT_EQ(got, expected);
        }
    }
}

TEST(ImageConv, KnownColours)
{
    struct Row {
        const char* name;
        uint8_t r, g, b;
        uint8_t gray, hue;
    };
    const Row table[] = {
        {"red", 255, 0, 0, 76, 0},
        {"green", 0, 255, 0, 150, 85},
        {"blue", 0, 0, 255, 29, 170},
        {"yellow", 255, 255, 0, 226, 42},
        {"magenta", 255, 0, 255, 105, 214},
        {"white", 255, 255, 255, 255, 0},
        {"midGray", 128, 128, 128, 128, 0},
        {"black", 0, 0, 0, 0, 0},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        // Three pixels so that a conversion stepping wrongly through the row shows.
        std::vector<uint8_t> rgba;
        for (int i = 0; i < 3; ++i)
            rgba.insert(rgba.end(), {row.r, row.g, row.b, 255});
        std::vector<uint8_t> gray(3), hue(3);
        RGBA2Gray(rgba.data(), gray.data(), 3, 1);
        RGBA2Hue(rgba.data(), hue.data(), 3, 1);
        EXPECT_EQ(gray, std::vector<uint8_t>(3, row.gray));
        EXPECT_EQ(hue, std::vector<uint8_t>(3, row.hue));
    }
}

TEST(ImageConv, GrayRoundTrip)
{
    std::vector<uint8_t> gray(256 * 3);
    for (size_t i = 0; i < gray.size(); ++i)
        gray[i] = uint8_t(i);
    std::vector<uint8_t> rgba(gray.size() * 4), back(gray.size());
    Gray2RGBA(gray.data(), rgba.data(), 256, 3);
    EXPECT_EQ(rgba[4 * 77 + 0], 77);
    EXPECT_EQ(rgba[4 * 77 + 2], 77);
    EXPECT_EQ(rgba[4 * 77 + 3], 255);
    RGBA2Gray(rgba.data(), back.data(), 256, 3);
    EXPECT_EQ(back, gray);
}

class CheckRange : public testing::Test
{
protected:
    void SetUp() override { SetImageSize(640, 480); }
    void TearDown() override { SetImageSize(1280, 1024); }
};

TEST_F(CheckRange, Coordinates)
{
    struct Row { int value, axis, expected; };
    const Row table[] = {{-5, 1, 0}, {0, 1, 0}, {639, 1, 639}, {640, 1, 639}, {320, 1, 320},
                         {-1, 0, 0}, {479, 0, 479}, {480, 0, 479}, {5000, 0, 479}};
    for (const Row& row : table) {
        int v = row.value;
        CheckInRange(&v, row.axis);
        EXPECT_EQ(v, row.expected) << row.value << " axis " << row.axis;
    }
}

TEST_F(CheckRange, Rectangles)
{
    struct Row {
        const char* name;
        QRect in;
        bool normalize;
        QRect expected;
        bool inside;
    };
    const Row table[] = {
        {"inside", QRect(QPoint(10, 20), QPoint(100, 200)), true, QRect(QPoint(10, 20), QPoint(100, 200)), true},
        {"overLeftTop", QRect(QPoint(-10, -20), QPoint(100, 200)), true, QRect(QPoint(0, 0), QPoint(100, 200)), true},
        {"overRightBottom", QRect(QPoint(600, 400), QPoint(700, 500)), true, QRect(QPoint(600, 400), QPoint(639, 479)), true},
        {"swappedCorners", QRect(QPoint(100, 200), QPoint(10, 20)), true, QRect(QPoint(10, 20), QPoint(100, 200)), true},
        {"whollyOutside", QRect(QPoint(700, 10), QPoint(800, 20)), true, QRect(QPoint(639, 10), QPoint(639, 20)), false},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        QRect r = row.in;
        EXPECT_EQ(CheckInRange(&r, row.normalize), row.inside);
        EXPECT_EQ(r, row.expected);
    }
}
