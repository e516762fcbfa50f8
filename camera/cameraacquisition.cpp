#include "camera/cameraacquisition.h"

#include "core/globals.h"
#include "camera/cameraglobals.h"
#include "camera/cameraregistry.h"
#include "params/wizardpara.h"

std::atomic<int> CameraThread::startDelayMs{300};

void CameraThread::run()
{
    msleep(static_cast<unsigned long>(startDelayMs.load()));
    while (running) {
        msleep(10);
        if (!running)
            break;
        m_view->grabStep();
    }
}

CameraAcquisition::CameraAcquisition(int position)
    : m_position(position), m_frames(position), m_backend(MakeCameraBackend(gCameraID, position, m_frames))
{
    m_autoExposureTimer.setSingleShot(true);
    m_autoExposureTimer.setInterval(2000);
    QObject::connect(&m_autoExposureTimer, &QTimer::timeout, [this] { FinishOneShotAutoExposure(); });
    CameraRegistry::Register(this);
}

CameraAcquisition::~CameraAcquisition()
{
    CameraRegistry::Unregister(this);
    CameraStop();
    CameraClose();
}

void CameraAcquisition::grabStep()
{
    if (m_backend->polled())
        m_backend->grabStep();
}

void CameraAcquisition::CameraOpen()
{
    if (m_position >= gFindCamera)
        return;
    // Opening an open camera first closes it, so no handle leaks and no running thread is dropped.
    if (m_opened) {
        CameraStop();
        CameraClose();
    }
    if (!m_backend->open())
        return;
    m_opened = true;
    m_openedSerial = m_backend->serialNumber();
    m_thread = std::make_unique<CameraThread>(this);
    CameraChangeTrig(true);
    SetAdjustPlus();
    SetExposeTime();
    SetContrast();
    SetSharp();
    SetGamma();
    SetHMirror();
    SetVMirror();
}

int CameraAcquisition::CameraStart()
{
    if (!m_opened)
        return 0;
    if (!m_backend->start())
        return 0;
    if (!m_backend->polled())
        return 1;
    // A thread told to stop may still be in its last pass; a new start waits for it to end rather
    // than being lost on a thread that is about to finish.
    if (m_thread->isRunning() && !m_thread->running)
        m_thread->wait();
    m_thread->running = true;
    if (!m_thread->isRunning())
        m_thread->start();
    return 1;
}

void CameraAcquisition::CameraStop()
{
    if (!m_opened)
        return;
    m_backend->stop();
    if (m_thread)
        m_thread->running = false;
}

void CameraAcquisition::CameraClose()
{
    if (!m_opened)
        return;
    m_opened = false;
    if (m_thread) {
        m_thread->running = false;
        m_thread->wait();
        m_thread.reset();
    }
    m_backend->close();
}

void CameraAcquisition::CameraChangeTrig(bool restart)
{
    if (!m_opened)
        return;
    m_backend->changeTrigger(gpWPara && gpWPara->external_trigger != 0, restart);
    // A frame captured in the old mode is never used.
    m_frames.dropPending();
    if (onTriggerChanged)
        onTriggerChanged();
}

bool CameraAcquisition::IsValidHandle() const { return m_backend->isValidHandle(); }

void CameraAcquisition::ApplySpeed(int speed)
{
    if (!m_opened)
        return;
    CameraStop();
    m_backend->applySpeed(speed);
    CameraStart();
}

void CameraAcquisition::SetExposeTime()
{
    if (m_opened)
        m_backend->setExposeTime(CameraSettingsRecord());
}

void CameraAcquisition::SetAdjustPlus()
{
    if (m_opened)
        m_backend->setAdjustPlus(CameraSettingsRecord());
}

void CameraAcquisition::SetSharp()
{
    if (m_opened)
        m_backend->setSharp(CameraSettingsRecord());
}

void CameraAcquisition::SetContrast()
{
    if (m_opened)
        m_backend->setContrast(CameraSettingsRecord());
}

void CameraAcquisition::SetGamma()
{
    if (m_opened)
        m_backend->setGamma(CameraSettingsRecord());
}

void CameraAcquisition::SetHMirror()
{
    if (m_opened)
        m_backend->setHMirror(CameraSettingsRecord());
}

void CameraAcquisition::SetVMirror()
{
    if (m_opened)
        m_backend->setVMirror(CameraSettingsRecord());
}

void CameraAcquisition::SetWB()
{
    if (m_opened)
        m_backend->setWB();
}

void CameraAcquisition::RestoreDefaultSettings()
{
    if (!m_opened)
        return;
    const WizardPara live = gpWPara ? *gpWPara : WizardPara();
    m_backend->restoreDefaults(CameraEditRecord(), live);
    if (m_backend->code() == kCameraMindVision)
        CameraSetSpeed();
}

void CameraAcquisition::OneShotAutoExposure(std::function<void()> done)
{
    if (!m_opened || !m_backend->beginAutoExposure())
        return;
    m_autoExposureDone = std::move(done);
    m_autoExposureTimer.start();
}

void CameraAcquisition::FinishOneShotAutoExposure()
{
    m_autoExposureTimer.stop();
    if (!m_opened)
        return;
    m_backend->finishAutoExposure(CameraEditRecord());
    if (m_autoExposureDone)
        m_autoExposureDone();
}

void CameraSetSpeed()
{
    const int speed = gpWPara ? gpWPara->capture_speed : 0;
    for (int p = 0; p < numCamera && p < 8; ++p)
        if (CameraAcquisition *camera = CameraRegistry::At(p))
            camera->ApplySpeed(speed);
}
