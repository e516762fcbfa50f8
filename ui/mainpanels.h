// Panels the main window hosts over the camera views: the help, and stand-ins for the panels that
// are still to come, which say so on screen.
#pragma once

#include <QFrame>
#include <QList>
#include <QPointer>
#include <QString>

class QEvent;
class QLabel;
class QPushButton;

// A full-window panel with a title, one line of text and a "Close" button that hides it.
class PlaceholderPanel : public QFrame
{
    Q_OBJECT
public:
    // `what` names the panel, e.g. "System settings"; the panel reads
    // "<what>: not yet available on this station".
    explicit PlaceholderPanel(const QString &what, QWidget *parent = nullptr);

    QLabel *title() const { return m_title; }
    QLabel *text() const { return m_text; }
    QPushButton *closeButton() const { return m_close; }

signals:
    // Hidden by its "Close" button.
    void closed();

protected:
    QLabel *m_title;
    QLabel *m_text;
    QPushButton *m_close;
};

// The help of the main window: what each button and touch on the camera views does, with the
// buttons' own images and the texts of the text table.
class HelpWidget : public PlaceholderPanel
{
    Q_OBJECT
public:
    explicit HelpWidget(QWidget *parent = nullptr);
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
