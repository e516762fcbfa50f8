#include "camera/cammerwidget.h"

#include "app/globals.h"

#include <QImage>
#include <QPainter>

CammerWidget::CammerWidget(int position, QWidget *parent)
    : QWidget(parent), m_acquisition(std::make_unique<CameraAcquisition>(position))
{
    m_acquisition->onTriggerChanged = [this] { update(); };
    m_acquisition->CameraOpen();
    m_acquisition->CameraStart();
}

CammerWidget::~CammerWidget() = default;

bool CammerWidget::TakeFrame()
{
    if (!m_acquisition->TakeFrame())
        return false;
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

void CammerWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!isOpened() || gImageW <= 0 || gImageH <= 0)
        return;
    const QImage image(m_acquisition->workingImage(), gImageW, gImageH,
                       gisColor ? gImageW * 4 : gImageW, gisColor ? QImage::Format_RGBA8888 : QImage::Format_Grayscale8);
    painter.drawImage(rect(), image);
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
