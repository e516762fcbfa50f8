// The camera view of one position: the widget that shows the camera's image and owns its
// acquisition (and, for the vision side, the position's vision state).
#pragma once

#include "camera/cameraacquisition.h"

#include <QWidget>
#include <array>
#include <functional>
#include <memory>

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

    // ---- Vision side ----
    // The position's vision state of vision/ (images, templates, masks, results, with its
    // CammerSingleton and CammerRecong) is owned here; the CammerWidget methods of the vision
    // parts delegate to it. It is added when the vision library is linked into mould_camera.

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::unique_ptr<CameraAcquisition> m_acquisition;
    double m_meanGray = 0;
};

// Builds the camera views of positions 0..7 as children of `parent` (each opens and starts its
// camera) and counts in numCamera those whose camera opened. A view whose camera did not open is
// not kept (nullptr), except position 0, which always exists.
std::array<CammerWidget *, 8> CreateCammerWidgets(QWidget *parent);
