#include "ui/regions/regioncanvas.h"

#include "core/globals.h"
#include "params/wizardpara.h"
#include "ui/cammerwidget.h"
#include "vision/cameravision.h"
#include "vision/regionedit.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kRowRegionLimit = 36;
}

RegionCanvas::RegionCanvas(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 240);
}

void RegionCanvas::setVision(CameraVision *vision, int detection)
{
    m_vision = vision;
    m_d = std::clamp(detection, 0, kMaxDetect - 1);
    m_polygon.clear();
    m_pressed = false;
    m_handle = -1;
    update();
}

void RegionCanvas::setDrawMode(DrawMode mode, bool gesture)
{
    m_mode = mode;
    m_gesture = mode == Polygon && gesture;
    m_polygon.clear();
    m_copyArmed = false;
    update();
}

int RegionCanvas::selected() const
{
    if (!m_vision || m_vision->selectedRoi < 0 || m_vision->selectedRoi >= m_vision->singleton.roiNum[m_d])
        return -1;
    return m_vision->selectedRoi;
}

void RegionCanvas::select(int index)
{
    if (!m_vision)
        return;
    m_vision->ClearSelection(m_d);
    m_vision->selectedRoi = -1;
    if (index >= 0 && index < m_vision->singleton.roiNum[m_d]) {
        m_vision->singleton.SetRegionSelected(m_d, index, true);
        m_vision->selectedRoi = index;
    }
    emit selectionChanged(selected());
    update();
}

void RegionCanvas::DeselectROI() { select(-1); }

QTransform RegionCanvas::imageToView() const { return CammerWidget::FitTransform(QSize(gImageW, gImageH), size()); }

QPoint RegionCanvas::toImage(const QPointF &view) const
{
    const QPointF p = imageToView().inverted().map(view);
    return QPoint(int(std::floor(p.x())), int(std::floor(p.y())));
}

std::vector<std::pair<QPoint, QPointF>> RegionCanvas::handles() const
{
    std::vector<std::pair<QPoint, QPointF>> out;
    const int i = selected();
    if (i < 0)
        return out;
    const CammerSingleton &r = m_vision->singleton;
    const double h = kHandleSize / 2.0;
    switch (r.roiType[m_d][i]) {
    case ShapeRect: {
        // Numbered as the rectangle's own handles: 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left.
        const QRect o = r.rect[m_d][i].outline();
        out = {{o.topLeft(), {-h, -h}}, {o.topRight(), {h, -h}}, {o.bottomRight(), {h, h}}, {o.bottomLeft(), {-h, h}}};
        break;
    }
    case ShapeCircle: {
        const ::Circle &c = r.circle[m_d][i];
        out = {{c.center() + QPoint(c.outerRadius(), 0), {h, 0}}, {c.center() - QPoint(c.innerRadius(), 0), {-h, 0}}};
        break;
    }
    case ShapePolygon:
        for (const QPoint &p : r.polygon[m_d][i].points())
            out.push_back({p, {0, 0}});
        if (out.size() > 64)  // a gesture outline: moved whole, not point by point
            out.clear();
        break;
    default:
        break;
    }
    return out;
}

std::vector<QRect> RegionCanvas::handleRects() const
{
    std::vector<QRect> rects;
    const QTransform map = imageToView();
    for (const auto &[anchor, offset] : handles()) {
        const QPointF c = map.map(QPointF(anchor)) + offset;
        rects.push_back(QRect(int(c.x() - kHandleSize / 2), int(c.y() - kHandleSize / 2), kHandleSize, kHandleSize));
    }
    return rects;
}

int RegionCanvas::handleAt(const QPointF &view) const
{
    const std::vector<QRect> rects = handleRects();
    for (int k = int(rects.size()) - 1; k >= 0; --k)
        if (rects[k].contains(view.toPoint()))
            return k;
    return -1;
}

void RegionCanvas::finishAdd(int outcome, int index)
{
    using RegionEdit::AddOutcome;
    if (AddOutcome(outcome) == AddOutcome::Added) {
        select(index);
        emit regionAdded(index);
    } else if (AddOutcome(outcome) == AddOutcome::Limit) {
        emit refused(kRowRegionLimit);
    }
}

void RegionCanvas::SavePolygon()
{
    if (m_mode != Polygon || !m_vision)
        return;
    const WizardPara &p = para ? *para : *gpWPara;
    int index = -1;
    const auto outcome = RegionEdit::AddPolygon(*m_vision, m_d, m_polygon, p, &index);
    m_polygon.clear();
    m_mode = None;
    m_gesture = false;
    finishAdd(int(outcome), index);
    update();
}

void RegionCanvas::mousePressEvent(QMouseEvent *event)
{
    if (!m_vision || gImageW <= 0)
        return;
    const QPoint p = toImage(event->position());
    m_pressed = true;
    m_pressImage = m_lastImage = m_nowImage = p;
    if (m_copyArmed) {
        m_copyArmed = false;
        m_pressed = false;
        emit copyRequested(p);
        return;
    }
    switch (m_mode) {
    case Rect:
    case Circle:
        return;
    case Polygon:
        if (m_gesture)
            m_polygon = {p};
        else if (!m_vision || int(m_polygon.size()) < RePolygon::MaxPoints)
            m_polygon.push_back(p);
        update();
        return;
    case None:
        break;
    }
    m_handle = handleAt(event->position());
    const int i = selected();
    if (m_handle >= 0) {
        const CammerSingleton &r = m_vision->singleton;
        if (r.roiType[m_d][i] == ShapeCircle) {
            m_radiusOrigin = m_handle == 0 ? r.circle[m_d][i].outerRadius() : r.circle[m_d][i].innerRadius();
        } else {
            m_handleOrigin = handles()[m_handle].first;
        }
        return;
    }
    if (i >= 0 && m_vision->singleton.RegionContains(m_d, i, p)) {
        m_handle = -2;
        return;
    }
    if (m_vision->PtInRect(m_d, p)) {
        m_handle = -2;
        emit selectionChanged(selected());
    } else {
        DeselectROI();
    }
    update();
}

void RegionCanvas::dragHandle(const QPoint &imagePoint)
{
    const int i = selected();
    if (i < 0)
        return;
    CammerSingleton &r = m_vision->singleton;
    const QPoint delta = imagePoint - m_pressImage;
    const QSize image(gImageW, gImageH);
    switch (r.roiType[m_d][i]) {
    case ShapeRect: {
        const QPoint to = m_handleOrigin + delta;
        if (!RegionEdit::MoveAllowed({to}, 0, 0, image))
            return;
        r.rect[m_d][i].Resize(m_handle, to);
        break;
    }
    case ShapeCircle: {
        ::Circle &c = r.circle[m_d][i];
        const int radius = std::max(0, m_radiusOrigin + (m_handle == 0 ? delta.x() : -delta.x()));
        const int outer = m_handle == 0 ? std::max(radius, c.innerRadius() + 2) : c.outerRadius();
        const int inner = m_handle == 1 ? std::min(radius, c.outerRadius() - 2) : c.innerRadius();
        const QPoint span(outer, outer);
        if (!RegionEdit::MoveAllowed({c.center() - span, c.center() + span}, 0, 0, image))
            return;
        c.setRadii(outer, std::max(0, inner));
        break;
    }
    case ShapePolygon: {
        const QPoint to = m_handleOrigin + delta;
        if (!RegionEdit::MoveAllowed({to}, 0, 0, image))
            return;
        r.polygon[m_d][i].Resize(m_handle, to);
        break;
    }
    default:
        return;
    }
    m_vision->RebuildMask(m_d, i);
    emit regionEdited(i);
}

void RegionCanvas::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressed || !m_vision)
        return;
    const QPoint p = toImage(event->position());
    m_nowImage = p;
    if (m_mode == Polygon && m_gesture) {
        if (int(m_polygon.size()) < RePolygon::MaxPoints && (m_polygon.empty() || m_polygon.back() != p))
            m_polygon.push_back(p);
    } else if (m_mode == None && m_handle >= 0) {
        dragHandle(p);
    } else if (m_mode == None && m_handle == -2 && selected() >= 0) {
        const QPoint step = p - m_lastImage;
        if (!step.isNull() && RegionEdit::Nudge(*m_vision, m_d, selected(), step.x(), step.y(), QSize(gImageW, gImageH))) {
            m_lastImage = p;
            emit regionEdited(selected());
        }
    }
    update();
}

void RegionCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_pressed || !m_vision)
        return;
    m_pressed = false;
    const QPoint p = toImage(event->position());
    const WizardPara &wp = para ? *para : *gpWPara;
    int index = -1;
    if (m_mode == Rect) {
        const auto outcome = RegionEdit::AddRect(*m_vision, m_d, QRect(m_pressImage, p), wp, &index);
        m_mode = None;
        finishAdd(int(outcome), index);
    } else if (m_mode == Circle) {
        const QPoint d = p - m_pressImage;
        const int radius = int(std::lround(std::hypot(d.x(), d.y())));
        const auto outcome = RegionEdit::AddCircle(*m_vision, m_d, m_pressImage, radius, wp, &index);
        m_mode = None;
        finishAdd(int(outcome), index);
    } else if (m_mode == Polygon && m_gesture) {
        SavePolygon();
    }
    m_handle = -1;
    update();
}

void RegionCanvas::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const cv::Mat *shown = image ? image() : nullptr;
    const QTransform map = imageToView();
    if (shown && !shown->empty()) {
        const QImage picture(shown->data, shown->cols, shown->rows, static_cast<qsizetype>(shown->step),
                             shown->channels() == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGBA8888);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(map.mapRect(QRectF(0, 0, shown->cols, shown->rows)), picture);
    }
    if (!m_vision)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    if (showIgnorePoints && !m_vision->ignorePoint[m_d].empty()) {
        const cv::Mat &ignore = m_vision->ignorePoint[m_d];
        QImage overlay(ignore.cols, ignore.rows, QImage::Format_ARGB32);
        overlay.fill(Qt::transparent);
        for (int y = 0; y < ignore.rows; ++y) {
            const uint8_t *row = ignore.ptr<uint8_t>(y);
            auto *out = reinterpret_cast<QRgb *>(overlay.scanLine(y));
            for (int x = 0; x < ignore.cols; ++x)
                if (row[x])
                    out[x] = qRgba(255, 0, 255, 170);
        }
        painter.drawImage(map.mapRect(QRectF(0, 0, ignore.cols, ignore.rows)), overlay);
    }
    const int n = std::clamp(m_vision->singleton.roiNum[m_d], 0, kMaxRoi);
    QFont font = painter.font();
    font.setPixelSize(22);
    painter.setFont(font);
    for (int i = 0; i < n; ++i) {
        const bool ng = showAlarm && !m_vision->roiOK[m_d][i];
        const bool isSelected = i == selected();
        const QColor colour = ng ? QColor(240, 30, 30) : isSelected ? QColor(255, 220, 0) : QColor(0, 230, 0);
        painter.setPen(QPen(colour, isSelected ? 4 : 2));
        painter.setBrush(Qt::NoBrush);
        const QPainterPath outline = map.map(m_vision->RegionOutline(m_d, i));
        painter.drawPath(outline);
        painter.drawText(outline.boundingRect().topLeft() + QPointF(4, 24), QString::number(i + 1));
        if (ng) {
            painter.setPen(QPen(QColor(255, 60, 60), 2));
            for (int k = 0; k < std::min(m_vision->roiBlobNum[m_d][i], kMaxBlobRect); ++k) {
                const int *b = m_vision->roiBlobRect[m_d][i][k];
                painter.drawRect(map.mapRect(QRectF(QPointF(b[0], b[1]), QPointF(b[2] + 1, b[3] + 1))));
            }
        }
    }
    // Handles: large translucent squares a gloved finger can hit.
    painter.setPen(QPen(QColor(255, 220, 0), 2));
    painter.setBrush(QColor(255, 220, 0, 90));
    for (const QRect &h : handleRects())
        painter.drawRect(h);
    // The shape being drawn.
    painter.setPen(QPen(QColor(0, 200, 255), 3, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    if (m_pressed && m_mode == Rect)
        painter.drawRect(map.mapRect(QRectF(QRect(m_pressImage, m_nowImage).normalized())));
    if (m_pressed && m_mode == Circle) {
        const QPointF d = m_nowImage - m_pressImage;
        const double r = std::hypot(d.x(), d.y()) * map.m11();
        painter.drawEllipse(map.map(QPointF(m_pressImage)), r, r);
    }
    if (m_mode == Polygon && !m_polygon.empty()) {
        QPolygonF poly;
        for (const QPoint &p : m_polygon)
            poly << map.map(QPointF(p));
        painter.drawPolyline(poly);
        painter.setBrush(QColor(0, 200, 255));
        if (!m_gesture)
            for (const QPointF &p : poly)
                painter.drawEllipse(p, 6, 6);
    }
}
