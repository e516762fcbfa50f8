#include "ui/viewstate.h"

#include <algorithm>

QList<QRect> CameraViewRects(int cameras, QSize screen)
{
    const int n = std::clamp(cameras, 1, 8);
    int columns = 1, rows = 1;
    if (n == 2) {
        columns = 2;
    } else if (n <= 4 && n > 2) {
        columns = rows = 2;
    } else if (n > 4) {
        columns = n <= 6 ? 3 : 4;
        rows = 2;
    }
    const int w = screen.width(), h = screen.height();
    QList<QRect> rects;
    for (int i = 0; i < n; ++i) {
        const int column = i % columns, row = i / columns;
        const int x0 = column * w / columns, x1 = (column + 1) * w / columns;
        const int y0 = row * h / rows, y1 = (row + 1) * h / rows;
        rects << QRect(x0, y0, x1 - x0, y1 - y0);
    }
    return rects;
}

void ViewState::ShowAll(int cameras)
{
    m_cameras = std::clamp(cameras, 1, 8);
    m_selected = m_cameras;
}

void ViewState::Select(int camera, int cameras)
{
    m_cameras = std::clamp(cameras, 1, 8);
    m_selected = (camera >= 0 && camera < m_cameras) ? camera : m_cameras;
}

QRect ViewState::ViewRect(int camera, QSize screen) const
{
    if (camera < 0 || camera >= m_cameras)
        return {};
    if (singleView())
        return camera == (m_cameras == 1 ? 0 : m_selected) ? QRect(QPoint(0, 0), screen) : QRect();
    return CameraViewRects(m_cameras, screen).value(camera);
}

void ViewState::Relayout(QSize screen)
{
    m_zoom = 1.0;
    m_offset = QPointF();
    m_centre = QPointF(screen.width() / 2.0, screen.height() / 2.0);
    m_buttonMode = singleView() ? ZoomButtonOnly : ButtonsHidden;
}

void ViewState::Scale(int step)
{
    const double old = m_zoom;
    if (step == 0) {
        m_zoom = 1.0;
        m_offset = QPointF();
        return;
    }
    double next = step > 0 ? std::min(old * kZoomStep, kMaxZoom) : old / kZoomStep;
    if (next < kSnapToOne)
        next = 1.0;
    // Keep the zoom centre on the same picture point: c = offset + z * p for the same p.
    m_offset = m_centre - (m_centre - m_offset) / old * next;
    m_zoom = next;
    if (m_zoom == 1.0)
        m_offset = QPointF();
}

void ViewState::Move(int dx, int dy)
{
    if (m_zoom == 1.0)
        return;
    m_offset += QPointF(dx * m_zoom * kMoveStep, dy * m_zoom * kMoveStep);
}

QTransform ViewState::ZoomTransform() const
{
    return QTransform(m_zoom, 0, 0, m_zoom, m_offset.x(), m_offset.y());
}

void ViewState::PressZoomButton()
{
    if (!m_buttonsAllowed)
        return;
    if (m_buttonMode == ZoomButtonOnly)
        m_buttonMode = AllButtons;
    else if (m_buttonMode == AllButtons)
        Scale(1);
}

void ViewState::FoldBack()
{
    if (m_buttonMode == AllButtons)
        m_buttonMode = ZoomButtonOnly;
}
