#include "vision/lib/regionshape.h"

#include "vision/lib/checkrange.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace {

// Handles are drawn as squares of this half size in view pixels.
constexpr double HandleHalfSize = 4.0;
// Free-hand outlines get no vertex handles drawn beyond this count; they stay hittable.
constexpr int MaxDrawnVertexHandles = 200;

QPointF pixelCentre(const QPoint& p)
{
    return QPointF(p.x() + 0.5, p.y() + 0.5);
}

long long squared(long long v)
{
    return v * v;
}

// Ceiling of n / d for d > 0.
long long ceilDiv(long long n, long long d)
{
    return n >= 0 ? (n + d - 1) / d : -((-n) / d);
}

} // namespace

QPoint ImageViewMap::toImage(const QPointF& view) const
{
    const double f = factor() > 0.0 ? factor() : 1.0;
    const QPointF image = view / f + origin;
    return QPoint(int(std::floor(image.x())), int(std::floor(image.y())));
}

// ---- RegionShape

void RegionShape::clampImageRect(const QRect& outline)
{
    const cv::Size image = ImageSize();
    const QRect clipped = outline.intersected(QRect(0, 0, image.width, image.height));
    m_imageRect = clipped.isEmpty() ? QRect() : clipped;
}

int RegionShape::hitHandle(const std::vector<QPoint>& handles, const QPoint& moveHandle,
                           const QPoint& p, const ImageViewMap& map)
{
    // Distances in view pixels, so a handle is as easy to touch at any zoom.
    const QPointF view = map.toView(pixelCentre(p));
    auto near = [&](const QPoint& h) {
        const QPointF d = map.toView(pixelCentre(h)) - view;
        return std::abs(d.x()) <= HandleRadius && std::abs(d.y()) <= HandleRadius;
    };
    for (int i = 0; i < int(handles.size()); ++i)
        if (near(handles[i]))
            return i;
    return near(moveHandle) ? MoveHandle : NoHandle;
}

void RegionShape::drawHandles(QPainter& painter, const std::vector<QPoint>& handles,
                              const QPoint& moveHandle, const ImageViewMap& map)
{
    painter.save();
    painter.setBrush(painter.pen().color());
    if (int(handles.size()) <= MaxDrawnVertexHandles) {
        for (const QPoint& h : handles) {
            const QPointF c = map.toView(pixelCentre(h));
            painter.drawRect(QRectF(c.x() - HandleHalfSize, c.y() - HandleHalfSize,
                                    2 * HandleHalfSize, 2 * HandleHalfSize));
        }
    }
    painter.setBrush(Qt::NoBrush);
    const QPointF c = map.toView(pixelCentre(moveHandle));
    painter.drawEllipse(c, 2 * HandleHalfSize, 2 * HandleHalfSize);
    painter.drawLine(c - QPointF(2 * HandleHalfSize, 0), c + QPointF(2 * HandleHalfSize, 0));
    painter.drawLine(c - QPointF(0, 2 * HandleHalfSize), c + QPointF(0, 2 * HandleHalfSize));
    painter.restore();
}

// ---- ClustomRect

void ClustomRect::setCorners(int x1, int y1, int x2, int y2)
{
    m_outline.setCoords(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2));
}

cv::Mat ClustomRect::UpdateMask()
{
    setImageRect();
    if (m_imageRect.isEmpty())
        return cv::Mat();
    return cv::Mat(m_imageRect.height(), m_imageRect.width(), CV_8UC1, cv::Scalar(255));
}

std::vector<QPoint> ClustomRect::handles() const
{
    const QRect& r = m_outline;
    const int cx = (r.left() + r.right()) / 2;
    const int cy = (r.top() + r.bottom()) / 2;
    return {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft(),
            QPoint(cx, r.top()), QPoint(r.right(), cy), QPoint(cx, r.bottom()), QPoint(r.left(), cy)};
}

bool ClustomRect::PtInCtrl(const QPoint& p, int* handle, const ImageViewMap& map) const
{
    const int hit = hitHandle(handles(), m_outline.center(), p, map);
    if (handle)
        *handle = hit;
    return hit != NoHandle;
}

void ClustomRect::Resize(int handle, const QPoint& to)
{
    int left = m_outline.left(), top = m_outline.top();
    int right = m_outline.right(), bottom = m_outline.bottom();
    switch (handle) {
    case 0: left = to.x(); top = to.y(); break;
    case 1: right = to.x(); top = to.y(); break;
    case 2: right = to.x(); bottom = to.y(); break;
    case 3: left = to.x(); bottom = to.y(); break;
    case 4: top = to.y(); break;
    case 5: right = to.x(); break;
    case 6: bottom = to.y(); break;
    case 7: left = to.x(); break;
    case MoveHandle: {
        const QPoint shift = to - m_outline.center();
        left += shift.x(); right += shift.x();
        top += shift.y(); bottom += shift.y();
        break;
    }
    default: return;
    }
    setCorners(left, top, right, bottom);
}

void ClustomRect::Draw(QPainter& painter, const ImageViewMap& map) const
{
    const QPointF a = map.toView(QPointF(m_outline.left(), m_outline.top()));
    const QPointF b = map.toView(QPointF(m_outline.right() + 1, m_outline.bottom() + 1));
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(a, b));
    painter.restore();
    if (m_selected)
        drawHandles(painter, handles(), m_outline.center(), map);
}

// ---- Circle

Circle::Circle(int cx, int cy, int outerRadius, int innerRadius) : m_center(cx, cy)
{
    setRadii(outerRadius, innerRadius);
}

void Circle::setRadii(int outerRadius, int innerRadius)
{
    m_outer = std::clamp(outerRadius, 0, 0xFFFF);
    m_inner = std::clamp(innerRadius, 0, m_outer);
    UpdateRect();
}

void Circle::UpdateRect()
{
    m_outline.setCoords(m_center.x() - m_outer, m_center.y() - m_outer,
                        m_center.x() + m_outer, m_center.y() + m_outer);
}

bool Circle::Contains(const QPoint& p) const
{
    const long long d2 = squared(p.x() - m_center.x()) + squared(p.y() - m_center.y());
    return d2 <= squared(m_outer) && d2 >= squared(m_inner);
}

cv::Mat Circle::UpdateMask()
{
    setImageRect();
    if (m_imageRect.isEmpty())
        return cv::Mat();
    cv::Mat mask(m_imageRect.height(), m_imageRect.width(), CV_8UC1);
    for (int row = 0; row < mask.rows; ++row) {
        uchar* out = mask.ptr<uchar>(row);
        const int y = m_imageRect.top() + row;
        for (int col = 0; col < mask.cols; ++col)
            out[col] = Contains(QPoint(m_imageRect.left() + col, y)) ? 255 : 0;
    }
    return mask;
}

std::vector<QPoint> Circle::handles() const
{
    return {m_center + QPoint(m_outer, 0), m_center - QPoint(m_inner, 0)};
}

bool Circle::PtInCtrl(const QPoint& p, int* handle, const ImageViewMap& map) const
{
    int hit = hitHandle(handles(), m_center, p, map);
    // The inner handle sits on the centre while there is no hole; the centre then moves.
    if (hit == 1 && m_inner == 0)
        hit = MoveHandle;
    if (handle)
        *handle = hit;
    return hit != NoHandle;
}

void Circle::Resize(int handle, const QPoint& to)
{
    const QPoint d = to - m_center;
    const int distance = int(std::lround(std::hypot(double(d.x()), double(d.y()))));
    switch (handle) {
    case 0: setRadii(std::max(distance, m_inner), m_inner); break;
    case 1: setRadii(m_outer, std::min(distance, m_outer)); break;
    case MoveHandle: setCenter(to); break;
    default: break;
    }
}

void Circle::Draw(QPainter& painter, const ImageViewMap& map) const
{
    const QPointF c = map.toView(pixelCentre(m_center));
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(c, m_outer * map.factor(), m_outer * map.factor());
    if (m_inner > 0)
        painter.drawEllipse(c, m_inner * map.factor(), m_inner * map.factor());
    painter.restore();
    if (m_selected)
        drawHandles(painter, handles(), m_center, map);
}

// ---- RePolygon

bool RePolygon::setPoints(int n, const QPoint* points)
{
    m_points.clear();
    if (n <= 0 || !points)
        return n == 0;
    const int kept = std::min(n, MaxPoints);
    m_points.assign(points, points + kept);
    return n <= MaxPoints;
}

bool RePolygon::AddPoint(const QPoint& p)
{
    if (count() >= MaxPoints)
        return false;
    m_points.push_back(p);
    return true;
}

QRect RePolygon::outline() const
{
    if (m_points.empty())
        return QRect();
    int left = m_points[0].x(), right = left, top = m_points[0].y(), bottom = top;
    for (const QPoint& p : m_points) {
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        top = std::min(top, p.y());
        bottom = std::max(bottom, p.y());
    }
    QRect r;
    r.setCoords(left, top, right, bottom);
    return r;
}

// Inside test and mask share one rule, so a mask pixel is set exactly where Contains holds:
// an edge (a, b) crosses row y when min(ay, by) <= y < max(ay, by), at x = c; with the integer
// crossing ceil(c), a pixel x is inside when an odd number of crossings have ceil(c) > x.
// Pixels on an edge belong to the polygon as well.
namespace {

long long crossingCeil(const QPoint& a, const QPoint& b, int y)
{
    long long num = (long long)(y - a.y()) * (b.x() - a.x());
    long long den = b.y() - a.y();
    if (den < 0) {
        num = -num;
        den = -den;
    }
    return a.x() + ceilDiv(num, den);
}

bool crossesRow(const QPoint& a, const QPoint& b, int y)
{
    return std::min(a.y(), b.y()) <= y && y < std::max(a.y(), b.y());
}

bool onSegment(const QPoint& a, const QPoint& b, const QPoint& p)
{
    const long long cross = (long long)(b.x() - a.x()) * (p.y() - a.y())
                          - (long long)(b.y() - a.y()) * (p.x() - a.x());
    return cross == 0 && std::min(a.x(), b.x()) <= p.x() && p.x() <= std::max(a.x(), b.x())
        && std::min(a.y(), b.y()) <= p.y() && p.y() <= std::max(a.y(), b.y());
}

} // namespace

bool RePolygon::Contains(const QPoint& p) const
{
    const int n = count();
    if (n == 0)
        return false;
    bool inside = false;
    for (int i = 0; i < n; ++i) {
        const QPoint& a = m_points[i];
        const QPoint& b = m_points[(i + 1) % n];
        if (onSegment(a, b, p))
            return true;
        if (crossesRow(a, b, p.y()) && crossingCeil(a, b, p.y()) > p.x())
            inside = !inside;
    }
    return inside;
}

cv::Mat RePolygon::UpdateMask()
{
    setImageRect();
    if (m_imageRect.isEmpty())
        return cv::Mat();
    const QRect& r = m_imageRect;
    cv::Mat mask = cv::Mat::zeros(r.height(), r.width(), CV_8UC1);
    const int n = count();

    // Crossings per row of the image rectangle, then even-odd spans.
    std::vector<std::vector<long long>> crossings(r.height());
    for (int i = 0; i < n; ++i) {
        const QPoint& a = m_points[i];
        const QPoint& b = m_points[(i + 1) % n];
        const int yFirst = std::max(std::min(a.y(), b.y()), r.top());
        const int yLast = std::min(std::max(a.y(), b.y()) - 1, r.bottom());
        for (int y = yFirst; y <= yLast; ++y)
            crossings[y - r.top()].push_back(crossingCeil(a, b, y));
    }
    for (int row = 0; row < r.height(); ++row) {
        std::vector<long long>& c = crossings[row];
        std::sort(c.begin(), c.end());
        uchar* out = mask.ptr<uchar>(row);
        for (size_t k = 0; k + 1 < c.size(); k += 2) {
            const long long from = std::max<long long>(c[k], r.left());
            const long long to = std::min<long long>(c[k + 1] - 1, r.right());
            for (long long x = from; x <= to; ++x)
                out[x - r.left()] = 255;
        }
    }
    // Edge pixels: every lattice point on each edge.
    for (int i = 0; i < n; ++i) {
        const QPoint& a = m_points[i];
        const QPoint& b = m_points[(i + 1) % n];
        const int dx = b.x() - a.x(), dy = b.y() - a.y();
        const int steps = std::max(1, std::gcd(std::abs(dx), std::abs(dy)));
        for (int k = 0; k <= steps; ++k) {
            const QPoint p(a.x() + dx / steps * k, a.y() + dy / steps * k);
            if (r.contains(p))
                mask.at<uchar>(p.y() - r.top(), p.x() - r.left()) = 255;
        }
    }
    return mask;
}

bool RePolygon::PtInCtrl(const QPoint& p, int* handle, const ImageViewMap& map) const
{
    const int hit = m_points.empty() ? NoHandle : hitHandle(m_points, outline().center(), p, map);
    if (handle)
        *handle = hit;
    return hit != NoHandle;
}

void RePolygon::Resize(int handle, const QPoint& to)
{
    if (handle >= 0 && handle < count()) {
        m_points[handle] = to;
    } else if (handle == MoveHandle && !m_points.empty()) {
        const QPoint shift = to - outline().center();
        Move(shift.x(), shift.y());
    }
}

void RePolygon::Move(int dx, int dy)
{
    for (QPoint& p : m_points)
        p += QPoint(dx, dy);
}

void RePolygon::Draw(QPainter& painter, const ImageViewMap& map) const
{
    if (m_points.empty())
        return;
    QPolygonF view;
    view.reserve(count());
    for (const QPoint& p : m_points)
        view << map.toView(pixelCentre(p));
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.drawPolygon(view);
    painter.restore();
    if (m_selected)
        drawHandles(painter, m_points, outline().center(), map);
}
