// The region editor's picture: one camera image with the regions of a detection, drawn and edited by touch.
#pragma once

#include <QPoint>
#include <QTransform>
#include <QWidget>
#include <opencv2/core.hpp>

#include <functional>
#include <vector>

class CameraVision;
class WizardPara;

// Shows `image()` fitted into the widget with the regions of detection `detection()` of a camera's
// CameraVision (borrowed; set by the page) over it, and turns presses into drawing, selecting,
// moving and resizing. Regions stay in image pixels; only drawing and touches go through the
// fit. Handles are squares of kHandleSize view pixels whatever the picture's scale, placed outside
// a rectangle's corners so the body stays free for moving.
class RegionCanvas : public QWidget
{
    Q_OBJECT
public:
    enum DrawMode { None = 0, Rect = 1, Polygon = 2, Circle = 4 };
    static constexpr int kHandleSize = 48;

    explicit RegionCanvas(QWidget *parent = nullptr);

    void setVision(CameraVision *vision, int detection);
    CameraVision *vision() const { return m_vision; }
    int detection() const { return m_d; }
    // The picture shown (camera format, gImageW x gImageH); empty: black.
    std::function<const cv::Mat *()> image;
    const WizardPara *para = nullptr;

    void setDrawMode(DrawMode mode, bool gesture = false);
    DrawMode drawMode() const { return m_mode; }
    bool gesture() const { return m_gesture; }
    int polygonVertices() const { return int(m_polygon.size()); }
    // Ends the polygon being drawn: a region when it has at least 3 vertices.
    void SavePolygon();
    // The next press copies the selected region to the pressed point.
    void armCopy() { m_copyArmed = true; }

    int selected() const;
    void select(int index);
    void DeselectROI();
    bool showIgnorePoints = false;
    bool showAlarm = false;  // NG regions red with their NG rectangles

    QTransform imageToView() const;
    // The view rectangles of the handles of the selected region (empty without a selection).
    std::vector<QRect> handleRects() const;

signals:
    // A shape was finished and a region added at `index`, or refused (text-table row of the reason).
    void regionAdded(int index);
    void refused(int row);
    void selectionChanged(int index);
    // The selected region was moved or resized by touch.
    void regionEdited(int index);
    void copyRequested(QPoint imagePoint);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QPoint toImage(const QPointF &view) const;
    // Handle anchors of the selected region in image pixels, and their offset outward in view px.
    std::vector<std::pair<QPoint, QPointF>> handles() const;
    int handleAt(const QPointF &view) const;
    void finishAdd(int outcome, int index);
    void dragHandle(const QPoint &imagePoint);

    CameraVision *m_vision = nullptr;
    int m_d = 0;
    DrawMode m_mode = None;
    bool m_gesture = false;
    bool m_copyArmed = false;
    std::vector<QPoint> m_polygon;
    bool m_pressed = false;
    QPoint m_pressImage, m_lastImage, m_nowImage;
    int m_handle = -1;  // handle being dragged, -2 the body, -1 nothing
    // The selected shape as it was at the press (for handle drags).
    QPoint m_handleOrigin;
    int m_radiusOrigin = 0;
};
