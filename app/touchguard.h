// What every touch does before a widget sees it: touch calibration, logout and screen-off timers,
// and waking the screen.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

class QEvent;

class TouchGuard : public QObject
{
    Q_OBJECT
public:
    explicit TouchGuard(QObject *parent = nullptr);

    // Handles one raw mouse or touch event; true when it must be swallowed.
    bool filter(const QEvent *event);

    // Restarts the screen-off timer with the configured delay (word 108), if one is set.
    void restartScreenOff();

    bool calibrationArmed() const { return m_calibrationArmed; }
    QTimer &calibrationTimer() { return m_calibration; }
    QTimer &logoutTimer() { return m_logout; }
    QTimer &screenOffTimer() { return m_screenOff; }

    // Actions the main window installs.
    std::function<void()> onCalibrationArmed;  // tell the operator to release for calibration
    std::function<void()> onCalibrate;         // run the calibration tool, then restart
    std::function<void()> onLogout;            // log the current user out

private:
    void press();
    void release();

    QTimer m_calibration;
    QTimer m_logout;
    QTimer m_screenOff;
    bool m_calibrationArmed = false;
};
