// Tests of the region shapes: masks against Contains, clamping, handles, resizing, drawing, big polygons.
#include "vision/lib/regionshape.h"

#include "vision/lib/checkrange.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QPainter>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <functional>
#include <variant>
#include <vector>

namespace {

using AnyShape = std::variant<ClustomRect, Circle, RePolygon>;

cv::Mat maskOf(AnyShape& shape)
{
    return std::visit([](auto& s) { return s.UpdateMask(); }, shape);
}

bool contains(const AnyShape& shape, const QPoint& p)
{
    return std::visit([&](const auto& s) { return s.Contains(p); }, shape);
}

QRect imageRectOf(const AnyShape& shape)
{
    return std::visit([](const auto& s) { return s.imageRect(); }, shape);
}

RePolygon polygon(std::vector<QPoint> points)
{
    return RePolygon(int(points.size()), points.data());
}

class RegionShapeTest : public testing::Test
{
protected:
    void SetUp() override { SetImageSize(200, 150); }
    void TearDown() override { SetImageSize(1280, 1024); }
};

} // namespace

// Every pixel of the image rectangle is set in the mask exactly when the shape contains it,
// and the image rectangle holds every contained pixel of the image.
TEST_F(RegionShapeTest, MaskMatchesContains)
{
    struct Row {
        const char* name;
        AnyShape shape;
        QRect imageRect;
    };
    const Row table[] = {
        {"rect", ClustomRect(10, 20, 60, 45), QRect(QPoint(10, 20), QPoint(60, 45))},
        {"rectSwapped", ClustomRect(60, 45, 10, 20), QRect(QPoint(10, 20), QPoint(60, 45))},
        {"onePixelRect", ClustomRect(5, 5, 5, 5), QRect(5, 5, 1, 1)},
        {"circle", Circle(100, 75, 30), QRect(QPoint(70, 45), QPoint(130, 105))},
        {"ring", Circle(100, 75, 30, 12), QRect(QPoint(70, 45), QPoint(130, 105))},
        {"circleAtCorner", Circle(5, 5, 20), QRect(QPoint(0, 0), QPoint(25, 25))},
        {"rectOverTheEdge", ClustomRect(-20, -10, 30, 40), QRect(QPoint(0, 0), QPoint(30, 40))},
        {"rectOverFarEdge", ClustomRect(180, 140, 260, 170), QRect(QPoint(180, 140), QPoint(199, 149))},
        {"triangle", polygon({{10, 10}, {90, 30}, {30, 100}}), QRect(QPoint(10, 10), QPoint(90, 100))},
        {"concave", polygon({{10, 10}, {100, 10}, {100, 80}, {60, 30}, {10, 80}}), QRect(QPoint(10, 10), QPoint(100, 80))},
        {"selfCrossingStar", polygon({{50, 0}, {80, 90}, {5, 35}, {95, 35}, {20, 90}}), QRect(QPoint(5, 0), QPoint(95, 90))},
        {"thinDiagonal", polygon({{0, 0}, {120, 37}, {121, 37}}), QRect(QPoint(0, 0), QPoint(121, 37))},
        {"polygonOverTheEdge", polygon({{-30, 20}, {60, -15}, {230, 160}}), QRect(QPoint(0, 0), QPoint(199, 149))},
        {"twoPointPolygon", polygon({{3, 4}, {40, 10}}), QRect(QPoint(3, 4), QPoint(40, 10))},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        AnyShape shape = row.shape;
        const cv::Mat mask = maskOf(shape);
        const QRect rect = imageRectOf(shape);
        EXPECT_EQ(rect, row.imageRect);
        ASSERT_EQ(mask.type(), CV_8UC1);
        ASSERT_EQ(mask.cols, rect.width());
        ASSERT_EQ(mask.rows, rect.height());
        int mismatches = 0, outside = 0;
        for (int y = 0; y < 150; ++y)
            for (int x = 0; x < 200; ++x) {
                const bool in = contains(shape, QPoint(x, y));
                if (rect.contains(x, y))
                    mismatches += in != (mask.at<uchar>(y - rect.top(), x - rect.left()) != 0);
                else
                    outside += in;
            }
        EXPECT_EQ(mismatches, 0);
        EXPECT_EQ(outside, 0);
        EXPECT_GT(cv::countNonZero(mask), 0);
    }
}

// The same outline gives the same pixels whichever shape class holds it, and areas are right.
TEST_F(RegionShapeTest, AreasAgreeAcrossShapes)
{
    ClustomRect rect(10, 10, 50, 30);
    RePolygon asPolygon = polygon({{10, 10}, {50, 10}, {50, 30}, {10, 30}});
    const cv::Mat a = rect.UpdateMask(), b = asPolygon.UpdateMask();
    EXPECT_EQ(cv::countNonZero(a), 41 * 21);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(cv::countNonZero(a != b), 0);

    Circle disc(100, 75, 40);
    EXPECT_NEAR(cv::countNonZero(disc.UpdateMask()), CV_PI * 40 * 40, 2 * CV_PI * 40);
    Circle ring(100, 75, 40, 20);
    EXPECT_NEAR(cv::countNonZero(ring.UpdateMask()), CV_PI * (40 * 40 - 20 * 20), 2 * CV_PI * 60);
}

TEST_F(RegionShapeTest, ShapeWhollyOutsideHasNoRectangleNorMask)
{
    ClustomRect rect(300, 10, 400, 20);
    EXPECT_TRUE(rect.UpdateMask().empty());
    EXPECT_EQ(rect.imageRect().width(), 0);
    EXPECT_EQ(rect.x2() - rect.x1() + 1, 0);
    Circle circle(-100, -100, 20);
    EXPECT_TRUE(circle.UpdateMask().empty());
    RePolygon empty;
    EXPECT_TRUE(empty.UpdateMask().empty());
    EXPECT_FALSE(empty.Contains(QPoint(0, 0)));
}

// Handles are hit within a fixed distance on screen, so the reach in image pixels depends on
// the view's scale and zoom.
TEST_F(RegionShapeTest, HandlesAreHitWhereTheyAreDrawn)
{
    const ClustomRect rect(20, 20, 120, 80);
    const Circle circle(100, 75, 30, 10);
    const RePolygon poly = polygon({{10, 10}, {90, 30}, {30, 100}});
    ImageViewMap oneToOne;
    ImageViewMap zoomedIn;
    zoomedIn.scale = 2.0;
    zoomedIn.zoom = 2.0; // 4 view pixels per image pixel: reach 2.5 image pixels
    ImageViewMap zoomedOut;
    zoomedOut.scale = 0.5; // reach 20 image pixels

    struct Row {
        const char* name;
        std::function<bool(const QPoint&, int*, const ImageViewMap&)> hit;
        QPoint point;
        const ImageViewMap* map;
        int expected;
    };
    auto onRect = [&](const QPoint& p, int* h, const ImageViewMap& m) { return rect.PtInCtrl(p, h, m); };
    auto onCircle = [&](const QPoint& p, int* h, const ImageViewMap& m) { return circle.PtInCtrl(p, h, m); };
    auto onPoly = [&](const QPoint& p, int* h, const ImageViewMap& m) { return poly.PtInCtrl(p, h, m); };
    const Row table[] = {
        {"topLeft", onRect, {20, 20}, &oneToOne, 0},
        {"nearTopRight", onRect, {128, 14}, &oneToOne, 1},
        {"bottomRight", onRect, {120, 80}, &oneToOne, 2},
        {"bottomLeft", onRect, {20, 80}, &oneToOne, 3},
        {"topMiddle", onRect, {70, 20}, &oneToOne, 4},
        {"rightMiddle", onRect, {120, 50}, &oneToOne, 5},
        {"bottomMiddle", onRect, {70, 80}, &oneToOne, 6},
        {"leftMiddle", onRect, {20, 50}, &oneToOne, 7},
        {"centreMoves", onRect, {70, 50}, &oneToOne, RegionShape::MoveHandle},
        {"insideButNoHandle", onRect, {40, 35}, &oneToOne, RegionShape::NoHandle},
        {"justOutOfReach", onRect, {31, 20}, &oneToOne, RegionShape::NoHandle},
        {"outOfReachZoomedIn", onRect, {23, 20}, &zoomedIn, RegionShape::NoHandle},
        {"inReachZoomedIn", onRect, {22, 21}, &zoomedIn, 0},
        {"inReachZoomedOut", onRect, {39, 20}, &zoomedOut, 0},
        {"outerRadius", onCircle, {130, 75}, &oneToOne, 0},
        {"innerRadius", onCircle, {90, 75}, &oneToOne, 1},
        {"circleCentre", onCircle, {103, 77}, &oneToOne, RegionShape::MoveHandle},
        {"vertex2", onPoly, {31, 99}, &oneToOne, 2},
        {"polygonNothing", onPoly, {65, 70}, &oneToOne, RegionShape::NoHandle},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        int handle = 123;
        EXPECT_EQ(row.hit(row.point, &handle, *row.map), row.expected != RegionShape::NoHandle);
        EXPECT_EQ(handle, row.expected);
    }
}

TEST_F(RegionShapeTest, ResizeAndMove)
{
    ClustomRect rect(20, 20, 120, 80);
    rect.Resize(2, QPoint(10, 10)); // dragging bottom-right over top-left turns the rectangle round
    EXPECT_EQ(rect.topLeft(), QPoint(10, 10));
    EXPECT_EQ(rect.bottomRight(), QPoint(20, 20));
    rect.Resize(5, QPoint(60, 99)); // right edge only
    EXPECT_EQ(rect.bottomRight(), QPoint(60, 20));
    rect.Resize(RegionShape::MoveHandle, QPoint(100, 100));
    EXPECT_EQ(rect.outline().center(), QPoint(100, 100));
    EXPECT_EQ(rect.outline().size(), QSize(51, 11));

    Circle circle(50, 50, 20, 5);
    circle.Resize(0, QPoint(80, 90)); // 30, 40: radius 50
    EXPECT_EQ(circle.outerRadius(), 50);
    circle.Resize(1, QPoint(50, 200)); // inner cannot pass the outer radius
    EXPECT_EQ(circle.innerRadius(), 50);
    circle.Resize(0, QPoint(51, 50)); // nor the outer the inner
    EXPECT_EQ(circle.outerRadius(), 50);
    circle.Resize(RegionShape::MoveHandle, QPoint(70, 60));
    EXPECT_EQ(circle.center(), QPoint(70, 60));
    EXPECT_EQ(circle.outline(), QRect(QPoint(20, 10), QPoint(120, 110)));

    RePolygon poly = polygon({{10, 10}, {90, 30}, {30, 100}});
    poly.Resize(1, QPoint(95, 35));
    poly.Move(-5, 5);
    EXPECT_EQ(poly.points(), (std::vector<QPoint>{{5, 15}, {90, 40}, {25, 105}}));
}

TEST_F(RegionShapeTest, CopiesAreIndependentValues)
{
    RePolygon original = polygon({{10, 10}, {90, 30}, {30, 100}});
    original.SetSelected(true);
    RePolygon copy = original;
    EXPECT_TRUE(copy.IsSelected());
    copy.Move(1, 1);
    copy.SetSelected(false);
    EXPECT_EQ(original.points()[0], QPoint(10, 10));
    EXPECT_TRUE(original.IsSelected());

    Circle circle(10, 10, 5);
    circle.setPackedRadius(7 * 65536 + 300);
    EXPECT_EQ(circle.outerRadius(), 300);
    EXPECT_EQ(circle.innerRadius(), 7);
    EXPECT_EQ(circle.packedRadius(), 7 * 65536 + 300);
    Circle other = circle;
    other.setRadii(4, 0);
    EXPECT_EQ(circle.packedRadius(), 7 * 65536 + 300);
}

// A free-hand outline at the vertex limit: it is kept whole, one more vertex is refused, and its
// mask agrees with Contains.
TEST_F(RegionShapeTest, PolygonOfMaximumSize)
{
    SetImageSize(1280, 1024);
    std::vector<QPoint> points;
    for (int i = 0; i < RePolygon::MaxPoints; ++i) {
        const double t = 2 * CV_PI * i / RePolygon::MaxPoints;
        // A wavy outline, so neighbouring vertices differ.
        const double r = 300 + 20 * std::sin(37 * t);
        points.emplace_back(int(std::lround(640 + r * std::cos(t))), int(std::lround(512 + r * std::sin(t))));
    }
    RePolygon poly;
    EXPECT_TRUE(poly.setPoints(int(points.size()), points.data()));
    EXPECT_EQ(poly.count(), 8096);
    EXPECT_FALSE(poly.AddPoint(QPoint(1, 1)));
    EXPECT_EQ(poly.count(), 8096);

    const cv::Mat mask = poly.UpdateMask();
    ASSERT_FALSE(mask.empty());
    EXPECT_NEAR(cv::countNonZero(mask), CV_PI * (300 * 300 + 20 * 20 / 2), 4000);
    cv::RNG rng(4);
    int mismatches = 0;
    for (int i = 0; i < 3000; ++i) {
        const QPoint p(rng.uniform(poly.x1(), poly.x2() + 1), rng.uniform(poly.y1(), poly.y2() + 1));
        mismatches += poly.Contains(p) != (mask.at<uchar>(p.y() - poly.y1(), p.x() - poly.x1()) != 0);
    }
    EXPECT_EQ(mismatches, 0);

    points.push_back(QPoint(5, 5));
    RePolygon tooMany;
    EXPECT_FALSE(tooMany.setPoints(int(points.size()), points.data()));
    EXPECT_EQ(tooMany.count(), 8096);
}

// Drawing goes through the view mapping: the outline lands where the mapping puts it, handles
// only when selected.
TEST_F(RegionShapeTest, DrawUsesTheViewMapping)
{
    ImageViewMap map;
    map.scale = 0.5;
    map.zoom = 4.0; // 2 view pixels per image pixel
    map.origin = QPointF(10, 10);
    ClustomRect rect(20, 20, 59, 39); // view (20, 20) .. (100, 60)

    auto render = [&](bool selected) {
        QImage view(200, 200, QImage::Format_RGB32);
        view.fill(Qt::black);
        QPainter painter(&view);
        painter.setPen(QPen(Qt::green, 1));
        rect.SetSelected(selected);
        rect.Draw(painter, map);
        painter.end();
        return view;
    };
    const QImage plain = render(false);
    EXPECT_EQ(plain.pixelColor(20, 40), QColor(Qt::green)); // left edge
    EXPECT_EQ(plain.pixelColor(60, 20), QColor(Qt::green)); // top edge
    EXPECT_EQ(plain.pixelColor(100, 40), QColor(Qt::green)); // right edge
    EXPECT_EQ(plain.pixelColor(60, 40), QColor(Qt::black)); // inside
    EXPECT_EQ(plain.pixelColor(10, 10), QColor(Qt::black));
    EXPECT_EQ(plain.pixelColor(22, 23), QColor(Qt::black));

    const QImage selected = render(true);
    // The top-left handle is a filled square around the corner pixel's centre (21, 21).
    EXPECT_EQ(selected.pixelColor(22, 23), QColor(Qt::green));
}

TEST_F(RegionShapeTest, CircleAndPolygonDrawThroughTheMapping)
{
    ImageViewMap map;
    map.zoom = 2.0;
    map.origin = QPointF(20, 20);
    QImage view(200, 200, QImage::Format_RGB32);
    view.fill(Qt::black);
    QPainter painter(&view);
    painter.setPen(QPen(Qt::green, 1));
    Circle(60, 60, 20).Draw(painter, map);                     // centre (81, 81), radius 40 in the view
    polygon({{20, 100}, {110, 100}, {110, 110}}).Draw(painter, map); // first edge along view y = 161
    painter.end();
    auto paintedNear = [&](int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (view.pixelColor(x + dx, y + dy) == QColor(Qt::green))
                    return true;
        return false;
    };
    EXPECT_TRUE(paintedNear(121, 81));
    EXPECT_TRUE(paintedNear(81, 41));
    EXPECT_FALSE(paintedNear(81, 81));
    EXPECT_TRUE(paintedNear(100, 161));
    EXPECT_FALSE(paintedNear(100, 150));
}
