#include "ui/cammerwidget.h"

#include "core/globals.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// The station's face is installed as "WenQuanYi Micro Hei"; the screens ask for it as "wqy-microhei".
QFont statusFont(int pixelSize)
{
    static const bool substituted = [] {
        QFont::insertSubstitution(QStringLiteral("wqy-microhei"), QStringLiteral("WenQuanYi Micro Hei"));
        return true;
    }();
    Q_UNUSED(substituted);
    QFont font(QStringLiteral("wqy-microhei"));
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Normal);  // weight 50 of the old scale
    return font;
}

}  // namespace

CammerWidget::CammerWidget(int position, QWidget *parent)
    : QWidget(parent), m_acquisition(std::make_unique<CameraAcquisition>(position))
{
    // The view paints every pixel itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_acquisition->onTriggerChanged = [this] { update(); };
    m_acquisition->CameraOpen();
    m_acquisition->CameraStart();
}

CammerWidget::~CammerWidget() = default;

bool CammerWidget::TakeFrame()
{
    if (!m_acquisition->TakeFrame())
        return false;
    ++m_framesTaken;
    // Mean grey over the gray image, or over the first channel of the colour one (vectorised: the
    // GUI thread takes every frame of every camera).
    m_meanGray = 0;
    if (gImageW > 0 && gImageH > 0) {
        const cv::Mat image(gImageH, gImageW, gisColor ? CV_8UC4 : CV_8UC1, m_acquisition->workingImage());
        m_meanGray = cv::mean(image)[0];
    }
    update();
    return true;
}

void CammerWidget::setZoom(const QTransform &zoom)
{
    m_zoom = zoom;
    update();
}

QTransform CammerWidget::FitTransform(QSize image, QSize view)
{
    if (image.isEmpty() || view.isEmpty())
        return {};
    const double s = std::min(double(view.width()) / image.width(), double(view.height()) / image.height());
    return QTransform(s, 0, 0, s, (view.width() - image.width() * s) / 2.0, (view.height() - image.height() * s) / 2.0);
}

QTransform CammerWidget::imageToView() const
{
    return FitTransform(QSize(gImageW, gImageH), size()) * m_zoom;
}

void CammerWidget::renderImage(const cv::Mat &image, const QTransform &map)
{
    // Only the part of the image that falls into the view is scaled (cv::resize, several times
    // faster than a general warp), straight into a view-sized 32-bit buffer: the cost follows the
    // view's pixels, and no buffer is allocated while the view and the zoom keep their size.
    const int vw = width(), vh = height();
    m_viewBuffer.create(vh, vw, CV_8UC4);
    const double s = map.m11();
    const double tx = map.dx(), ty = map.dy();
    // Image pixels that show, whole pixels at the edges.
    const int ix0 = std::max(0, int(std::floor(-tx / s))), ix1 = std::min(image.cols, int(std::ceil((vw - tx) / s)));
    const int iy0 = std::max(0, int(std::floor(-ty / s))), iy1 = std::min(image.rows, int(std::ceil((vh - ty) / s)));
    if (s <= 0 || ix1 <= ix0 || iy1 <= iy0) {
        m_viewBuffer.setTo(cv::Scalar::all(0));
        return;
    }
    // Where they land, rounded to view pixels (the error stays below one view pixel at any zoom).
    const int dx0 = int(std::lround(tx + ix0 * s)), dx1 = int(std::lround(tx + ix1 * s));
    const int dy0 = int(std::lround(ty + iy0 * s)), dy1 = int(std::lround(ty + iy1 * s));
    if (dx1 <= dx0 || dy1 <= dy0) {
        m_viewBuffer.setTo(cv::Scalar::all(0));
        return;
    }
    const cv::Rect source(ix0, iy0, ix1 - ix0, iy1 - iy0);
    // Enlarged pixels stay sharp squares, so the operator sees the pixels that were judged.
    cv::resize(image(source), m_scaled, cv::Size(dx1 - dx0, dy1 - dy0), 0, 0,
               s >= 2.0 ? cv::INTER_NEAREST : cv::INTER_LINEAR);
    const cv::Rect shown = cv::Rect(dx0, dy0, dx1 - dx0, dy1 - dy0) & cv::Rect(0, 0, vw, vh);
    if (shown != cv::Rect(0, 0, vw, vh))
        m_viewBuffer.setTo(cv::Scalar::all(0));
    if (shown.empty())
        return;
    cv::Mat target = m_viewBuffer(shown);
    const cv::Mat part = m_scaled(shown - cv::Point(dx0, dy0));
    cv::cvtColor(part, target, part.channels() == 1 ? cv::COLOR_GRAY2BGRA : cv::COLOR_RGBA2BGRA);
}

void CammerWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const bool haveImage = isOpened() && gImageW > 0 && gImageH > 0 && width() > 0 && height() > 0;
    if (!haveImage) {
        painter.fillRect(rect(), Qt::black);
    } else {
        const cv::Mat *shown = shownImage ? shownImage() : nullptr;
        const bool live = !shown || shown->empty();
        const cv::Mat liveImage(gImageH, gImageW, gisColor ? CV_8UC4 : CV_8UC1, m_acquisition->workingImage());
        const cv::Mat &image = live ? liveImage : *shown;
        const QTransform map = imageToView();
        const bool fresh = live && m_renderedData == image.data && m_renderedFrame == m_framesTaken
                           && m_renderedMap == map && m_viewBuffer.cols == width() && m_viewBuffer.rows == height();
        if (!fresh) {
            renderImage(image, map);
            m_renderedData = live ? image.data : nullptr;
            m_renderedFrame = m_framesTaken;
            m_renderedMap = map;
        }
        const QImage view(m_viewBuffer.data, m_viewBuffer.cols, m_viewBuffer.rows,
                          static_cast<qsizetype>(m_viewBuffer.step), QImage::Format_RGB32);
        painter.drawImage(0, 0, view);
        if (paintOverlay) {
            painter.save();
            paintOverlay(painter, map);
            painter.restore();
        }
    }

    // Status lines at the top left, 5 px in: the detection state in the large font (20 px on
    // screens up to 1024 px wide, 45 px on larger ones), the counters below it in a smaller one.
    m_paintedStatus = statusLines ? statusLines() : QList<ViewStatusLine>();
    if (m_paintedStatus.isEmpty())
        return;
    const int screenWidth = screen() ? screen()->size().width() : window()->width();
    const bool small = screenWidth <= 1024;
    const QFont large = statusFont(small ? 20 : 45);
    const QFont normal = statusFont(small ? 14 : 22);
    const QFontMetrics largeMetrics(large), normalMetrics(normal);
    int y = 5;
    for (const ViewStatusLine &line : m_paintedStatus) {
        const QFontMetrics &metrics = line.large ? largeMetrics : normalMetrics;
        painter.setFont(line.large ? large : normal);
        y += metrics.ascent();
        // A dark shadow keeps the text readable over a bright picture.
        painter.setPen(QColor(0, 0, 0, 200));
        painter.drawText(6, y + 1, line.text);
        painter.setPen(line.colour);
        painter.drawText(5, y, line.text);
        y += metrics.descent() + 2;
    }
}

std::array<CammerWidget *, 8> CreateCammerWidgets(QWidget *parent)
{
    std::array<CammerWidget *, 8> views{};
    numCamera = 0;
    for (int p = 0; p < 8; ++p) {
        auto *view = new CammerWidget(p, parent);
        if (view->isOpened()) {
            ++numCamera;
        } else if (p != 0) {
            delete view;
            continue;
        }
        views[p] = view;
    }
    return views;
}
