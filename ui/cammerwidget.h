// The camera view of one position: the widget that shows the camera's image and owns its
// acquisition (and, for the vision side, the position's vision state).
#pragma once

#include "camera/cameraacquisition.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QTransform>
#include <QWidget>
#include <opencv2/core.hpp>

#include <array>
#include <functional>
#include <memory>

class QPainter;

// One status line a camera view writes over its image.
struct ViewStatusLine
{
    QString text;
    QColor colour;
    bool large = false;  // the detection-state line, in the large status font
};

class CammerWidget : public QWidget
{
    Q_OBJECT
public:
    // Allocates the buffers, opens the position's camera and starts it, as every view does at
    // start-up; a view whose camera did not open stays unused (isOpened() false).
    explicit CammerWidget(int position, QWidget *parent = nullptr);
    ~CammerWidget() override;

    int position() const { return m_acquisition->position(); }
    bool isOpened() const { return m_acquisition->isOpen(); }
    CameraAcquisition &acquisition() { return *m_acquisition; }

    void CameraOpen() { m_acquisition->CameraOpen(); }
    int CameraStart() { return m_acquisition->CameraStart(); }
    void CameraStop() { m_acquisition->CameraStop(); }
    void CameraClose() { m_acquisition->CameraClose(); }
    void CameraChangeTrig(bool restart) { m_acquisition->CameraChangeTrig(restart); }
    bool IsValidHandle() const { return m_acquisition->IsValidHandle(); }

    void SetExposeTime() { m_acquisition->SetExposeTime(); }
    void SetAdjustPlus() { m_acquisition->SetAdjustPlus(); }
    void SetSharp() { m_acquisition->SetSharp(); }
    void SetContrast() { m_acquisition->SetContrast(); }
    void SetGamma() { m_acquisition->SetGamma(); }
    void SetHMirror() { m_acquisition->SetHMirror(); }
    void SetVMirror() { m_acquisition->SetVMirror(); }
    void SetWB() { m_acquisition->SetWB(); }
    void RestoreDefaultSettings() { m_acquisition->RestoreDefaultSettings(); }
    void OneShotAutoExposure(std::function<void()> done = {}) { m_acquisition->OneShotAutoExposure(std::move(done)); }

    // The cycle's take of the newest frame into the working image; true when there was one.
    bool TakeFrame();
    uint8_t *workingImage() { return m_acquisition->workingImage(); }
    // Mean grey value of the last frame taken (shown in the view).
    double meanGray() const { return m_meanGray; }
    // Frames taken since the view was made (the main window derives the frame rate from it).
    quint64 framesTaken() const { return m_framesTaken; }

    // ---- Display ----
    // The view shows the image fitted into it (aspect kept, centred), then `zoom` applied in view
    // pixels (identity: no zoom). The whole mapping from image pixels to view pixels:
    void setZoom(const QTransform &zoom);
    QTransform imageToView() const;
    static QTransform FitTransform(QSize image, QSize view);
    // An image to show instead of the live one (the judged image while a result is shown), or
    // nullptr for the live image. It must be of the camera image's size and format.
    std::function<const cv::Mat *()> shownImage;
    // Draws over the image (region outlines, NG rectangles), given the image-to-view mapping.
    std::function<void(QPainter &, const QTransform &imageToView)> paintOverlay;
    // The status lines written at the top left, from the main window.
    std::function<QList<ViewStatusLine>()> statusLines;
    // The status lines as last painted (for tests and diagnostics).
    const QList<ViewStatusLine> &paintedStatus() const { return m_paintedStatus; }

    // ---- Vision side ----
    // The position's vision state of vision/ (images, templates, masks, results, with its
    // CammerSingleton and CammerRecong) is owned here; the CammerWidget methods of the vision
    // parts delegate to it. It is added when the vision library is linked into mould_camera.

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Scales the visible part of `image` into m_viewBuffer (view-sized, 32-bit) through `map`
    // (scale and translation), reusing the buffers.
    void renderImage(const cv::Mat &image, const QTransform &map);

    std::unique_ptr<CameraAcquisition> m_acquisition;
    double m_meanGray = 0;
    quint64 m_framesTaken = 0;
    QTransform m_zoom;
    cv::Mat m_scaled;      // the visible part of the image scaled, in the camera's format
    cv::Mat m_viewBuffer;  // the same as B, G, R, A bytes (QImage::Format_RGB32)
    // What m_viewBuffer was last rendered from: the live frame is not scaled again when only
    // the status changed.
    const void *m_renderedData = nullptr;
    quint64 m_renderedFrame = ~0ull;
    QTransform m_renderedMap;
    QList<ViewStatusLine> m_paintedStatus;
};

// Builds the camera views of positions 0..7 as children of `parent` (each opens and starts its
// camera) and counts in numCamera those whose camera opened. A view whose camera did not open is
// not kept (nullptr), except position 0, which always exists.
std::array<CammerWidget *, 8> CreateCammerWidgets(QWidget *parent);
