// The band along the bottom of the screen that says why the station holds the machine: a raised
// alarm in red (cameras, stage, the next step, the way out) or stopped detection in amber.
#pragma once

#include <QFrame>
#include <QList>
#include <QString>

class QLabel;
class QPushButton;

class AlarmBand : public QFrame
{
    Q_OBJECT
public:
    enum Kind { Hidden, Alarm, Stopped };

    explicit AlarmBand(QWidget *parent = nullptr);

    // The alarm of `stageName` on the failed cameras (0-based positions): full width, with the
    // re-check and stop buttons.
    void showAlarm(const QList<int> &cameras, const QString &stageName);
    // Detection stopped, for `reason`: left of the button panel, which offers the start.
    void showStopped(const QString &reason);
    void hideBand();
    Kind kind() const { return m_kind; }
    // The band's place in a window of `size` with the button panel `panelWidth` wide.
    void place(QSize size, int panelWidth);

    QLabel *title = nullptr;
    QLabel *hint = nullptr;
    QPushButton *reCheck = nullptr;  // re-checks the failed stage on the picture of now
    QPushButton *stop = nullptr;     // stops detection (with its password and question)

private:
    void setKind(Kind kind);
    Kind m_kind = Hidden;
};
