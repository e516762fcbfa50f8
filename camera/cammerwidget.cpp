#include "camera/cammerwidget.h"

#include "app/globals.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <opencv2/imgproc.hpp>

#include <algorithm>

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
    // Mean grey over the gray image, or over the first channel of the colour one.
    const uint8_t *image = m_acquisition->workingImage();
    const int step = gisColor ? 4 : 1;
    uint64_t sum = 0;
    for (int i = 0; i < gImageLen; ++i)
        sum += image[static_cast<std::size_t>(i) * step];
    m_meanGray = gImageLen > 0 ? static_cast<double>(sum) / gImageLen : 0;
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
    // One warp of the camera-format image straight into a view-sized buffer: its cost follows the
    // view's pixels, not the camera's, and no buffer is allocated while the view keeps its size.
    const cv::Matx23d affine(map.m11(), map.m21(), map.dx(), map.m12(), map.m22(), map.dy());
    const int interpolation = map.m11() >= 1.0 ? cv::INTER_NEAREST : cv::INTER_LINEAR;
    cv::warpAffine(image, m_scaled, affine, cv::Size(width(), height()), interpolation, cv::BORDER_CONSTANT,
                   cv::Scalar::all(0));
    if (m_scaled.channels() == 1)
        cv::cvtColor(m_scaled, m_viewBuffer, cv::COLOR_GRAY2BGRA);
    else
        cv::cvtColor(m_scaled, m_viewBuffer, cv::COLOR_RGBA2BGRA);
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
