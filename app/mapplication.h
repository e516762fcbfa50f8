// The application object: sees every raw mouse and touch event before any widget does.
#pragma once

#include <QApplication>

class TouchGuard;

class MApplication : public QApplication
{
    Q_OBJECT
public:
    MApplication(int &argc, char **argv);

    // The touch guard of the main window; events pass untouched while none is set.
    void setTouchGuard(TouchGuard *guard) { m_guard = guard; }

    // Handles a raw window-system event; true swallows it.
    bool qwsEventFilter(QEvent *event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TouchGuard *m_guard = nullptr;  // borrowed from the main window, which lives as long as the process
};
