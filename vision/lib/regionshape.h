// Region outlines drawn by the operator: rectangle, circle (or ring) and polygon, with masks and handles.
#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <opencv2/core.hpp>

#include <vector>

class QPainter;

// How a camera view shows the image: view = (image - origin) x scale x zoom. scale fits the
// camera image into the view, zoom is the operator's magnification on top, origin the image
// point at the view's top-left corner. Outlines stay in image pixels; only drawing and touch
// go through this mapping.
struct ImageViewMap
{
    double scale = 1.0;
    double zoom = 1.0;
    QPointF origin;

    double factor() const { return scale * zoom; }
    QPointF toView(const QPointF& image) const { return (image - origin) * factor(); }
    // The image pixel under a view point.
    QPoint toImage(const QPointF& view) const;
};

// What the three shapes share: selection, the inclusive image rectangle and handle numbering.
// Handles 0, 1, ... resize the shape; MoveHandle, drawn at the centre, moves it whole.
class RegionShape
{
public:
    enum : int { NoHandle = -1, MoveHandle = -2 };
    // Handles are hit within this many view pixels, whatever the zoom.
    static constexpr double HandleRadius = 10.0;

    void SetSelected(bool selected) { m_selected = selected; }
    bool IsSelected() const { return m_selected; }

    // Image rectangle of the last setImageRect()/UpdateMask(): inclusive corners clamped to the
    // image (width = x2 - x1 + 1); empty (width 0) when the shape lies wholly outside.
    int x1() const { return m_imageRect.left(); }
    int y1() const { return m_imageRect.top(); }
    int x2() const { return m_imageRect.right(); }
    int y2() const { return m_imageRect.bottom(); }
    QRect imageRect() const { return m_imageRect; }
    cv::Rect cvRect() const { return cv::Rect(x1(), y1(), m_imageRect.width(), m_imageRect.height()); }

protected:
    void clampImageRect(const QRect& outline);
    static int hitHandle(const std::vector<QPoint>& handles, const QPoint& moveHandle,
                         const QPoint& p, const ImageViewMap& map);
    static void drawHandles(QPainter& painter, const std::vector<QPoint>& handles,
                            const QPoint& moveHandle, const ImageViewMap& map);

    bool m_selected = false;
    QRect m_imageRect;
};

// Axis-parallel rectangle given by two inclusive corner pixels.
// Handles: 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left, 4 top, 5 right, 6 bottom, 7 left.
class ClustomRect : public RegionShape
{
public:
    ClustomRect() = default;
    ClustomRect(int x1, int y1, int x2, int y2) { setCorners(x1, y1, x2, y2); }

    // Stores the corners put right way round.
    void setCorners(int x1, int y1, int x2, int y2);
    QPoint topLeft() const { return m_outline.topLeft(); }
    QPoint bottomRight() const { return m_outline.bottomRight(); }
    QRect outline() const { return m_outline; }

    void setImageRect() { clampImageRect(m_outline); }
    // 8-bit mask of imageRect() size, 255 inside; also refreshes the image rectangle.
    cv::Mat UpdateMask();
    bool Contains(const QPoint& p) const { return m_outline.contains(p); }
    // True when p (image pixels) lies on a handle; *handle gets its number.
    bool PtInCtrl(const QPoint& p, int* handle, const ImageViewMap& map = ImageViewMap()) const;
    // Drags a handle to the image point `to`.
    void Resize(int handle, const QPoint& to);
    void Move(int dx, int dy) { m_outline.translate(dx, dy); }
    // Outline in the painter's pen; handles when selected.
    void Draw(QPainter& painter, const ImageViewMap& map = ImageViewMap()) const;

private:
    std::vector<QPoint> handles() const;

    QRect m_outline{0, 0, 1, 1};
};

// Circle, or ring when the inner radius is above 0: a pixel belongs to it when its squared
// distance d2 from the centre satisfies inner^2 <= d2 <= outer^2.
// Handles: 0 outer radius (right of the centre), 1 inner radius (left of the centre).
class Circle : public RegionShape
{
public:
    Circle() { UpdateRect(); }
    Circle(int cx, int cy, int outerRadius, int innerRadius = 0);

    void setCenter(const QPoint& center) { m_center = center; UpdateRect(); }
    // Outer radius at least 0, inner radius 0 .. outer.
    void setRadii(int outerRadius, int innerRadius);
    QPoint center() const { return m_center; }
    int outerRadius() const { return m_outer; }
    int innerRadius() const { return m_inner; }
    // Both radii in one number as the region tables keep them: inner x 65536 + outer.
    int packedRadius() const { return m_inner * 65536 + m_outer; }
    void setPackedRadius(int packed) { setRadii(packed & 0xFFFF, (packed >> 16) & 0xFFFF); }

    // Recomputes the outline's bounding rectangle (not clamped) from centre and outer radius.
    void UpdateRect();
    QRect outline() const { return m_outline; }

    void setImageRect() { UpdateRect(); clampImageRect(m_outline); }
    cv::Mat UpdateMask();
    bool Contains(const QPoint& p) const;
    bool PtInCtrl(const QPoint& p, int* handle, const ImageViewMap& map = ImageViewMap()) const;
    void Resize(int handle, const QPoint& to);
    void Move(int dx, int dy) { m_center += QPoint(dx, dy); UpdateRect(); }
    void Draw(QPainter& painter, const ImageViewMap& map = ImageViewMap()) const;

private:
    std::vector<QPoint> handles() const;

    QPoint m_center;
    int m_outer = 1;
    int m_inner = 0;
    QRect m_outline;
};

// Closed polygon through up to MaxPoints vertices (a free-hand outline is a polygon with many).
// A pixel belongs to it when it lies on an edge or inside by the even-odd rule.
// Handles: vertex i is handle i.
class RePolygon : public RegionShape
{
public:
    static constexpr int MaxPoints = 8096;

    RePolygon() = default;
    RePolygon(int n, const QPoint* points) { setPoints(n, points); }
    explicit RePolygon(const std::vector<QPoint>& points) { setPoints(int(points.size()), points.data()); }

    // Takes the first n points; false when n is above MaxPoints (the first MaxPoints are kept).
    bool setPoints(int n, const QPoint* points);
    // Appends a vertex; false once MaxPoints are held.
    bool AddPoint(const QPoint& p);
    void clear() { m_points.clear(); }
    int count() const { return int(m_points.size()); }
    const std::vector<QPoint>& points() const { return m_points; }
    QRect outline() const;

    void setImageRect() { clampImageRect(outline()); }
    cv::Mat UpdateMask();
    bool Contains(const QPoint& p) const;
    bool PtInCtrl(const QPoint& p, int* handle, const ImageViewMap& map = ImageViewMap()) const;
    void Resize(int handle, const QPoint& to);
    void Move(int dx, int dy);
    void Draw(QPainter& painter, const ImageViewMap& map = ImageViewMap()) const;

private:
    std::vector<QPoint> m_points;
};
