// The help panel of the main window, and the guard that hides input pads on a press outside them.
#pragma once

#include <QFrame>
#include <QList>
#include <QPointer>
#include <QString>

class QEvent;
class QLabel;
class QPushButton;

// The help of the main window, a full-window panel: what each button and touch on the camera
// views does, with the buttons' own images and the texts of the text table, and "Close".
class HelpWidget : public QFrame
{
    Q_OBJECT
public:
    explicit HelpWidget(QWidget *parent = nullptr);

    QPushButton *closeButton() const { return m_close; }

signals:
    // Hidden by its "Close" button.
    void closed();

private:
    QPushButton *m_close;
};

// Hides the registered input pads (number pad, text pad) when a mouse press lands outside them.
class PadGuard
{
public:
    void registerPad(QWidget *pad) { m_pads.append(pad); }
    // Looks at one event; never consumes it.
    void filter(QEvent *event);

private:
    QList<QPointer<QWidget>> m_pads;  // not owned; a pad that goes away drops out
};
