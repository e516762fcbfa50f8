#include "app/touchguard.h"

#include "core/globals.h"
#include "core/panel.h"
#include "params/wizardpara.h"

#include <QEvent>

namespace {
constexpr int kCalibrationHoldMs = 3000;
}

TouchGuard::TouchGuard(QObject *parent)
    : QObject(parent)
{
    for (QTimer *timer : {&m_calibration, &m_logout, &m_screenOff})
        timer->setSingleShot(true);
    m_calibration.setInterval(kCalibrationHoldMs);
    connect(&m_calibration, &QTimer::timeout, this, [this] {
        m_calibrationArmed = true;
        if (onCalibrationArmed)
            onCalibrationArmed();
    });
    connect(&m_logout, &QTimer::timeout, this, [this] {
        if (onLogout)
            onLogout();
    });
    connect(&m_screenOff, &QTimer::timeout, this, [] { LCDOnOff(0); });
}

void TouchGuard::restartScreenOff()
{
    if (gpWPara && gpWPara->location_level > 0)
        m_screenOff.start(gpWPara->location_level * 1000);
}

bool TouchGuard::filter(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::TouchBegin:
        press();
        break;
    case QEvent::MouseButtonRelease:
    case QEvent::TouchEnd:
        release();
        break;
    case QEvent::MouseMove:
    case QEvent::MouseButtonDblClick:
    case QEvent::TouchUpdate:
        break;
    default:
        return false;
    }
    // A touch while the screen is dark only wakes it.
    if (IsScreenOff()) {
        LCDOnOff(1);
        return true;
    }
    return false;
}

void TouchGuard::press()
{
    // Holding a finger down for three seconds arms the calibration, but only on a station that has no
    // camera back-end configured yet (a fresh panel whose touch may be off).
    if (gCameraID == 0 && !m_calibration.isActive() && !m_calibrationArmed)
        m_calibration.start();
    if (gpWPara && gpWPara->auto_cancel_timelen > 0)
        m_logout.start(gpWPara->auto_cancel_timelen * 1000);
    restartScreenOff();
}

void TouchGuard::release()
{
    if (gCameraID != 0)
        return;
    if (m_calibrationArmed) {
        m_calibrationArmed = false;
        if (onCalibrate)
            onCalibrate();
    } else {
        m_calibration.stop();
    }
}
