// The IO status bar along the bottom of the main window: the machine signals with their names, the
// login state, the parameter group, the time and the last cycle time; a touch logs out.
#pragma once

#include "io/iosnapshot.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

class IOStatusWidget : public QWidget
{
    Q_OBJECT
public:
    // What the bar shows besides the signal words; the main window installs them.
    struct Source
    {
        std::function<int()> loginLevel;          // 0 "Unlogged", 1 and 2 "Logged"
        std::function<void()> logout;             // the quick logout of a touch
        std::function<QString()> parameterGroup;  // the active group, empty for none
        std::function<int()> cycleTimeTenths;     // the last machine cycle, 0.1 s
    };

    // One signal as the bar draws it.
    struct Lamp
    {
        QString marker;  // " N 1 " ...
        QString name;
        bool on = false;
    };

    explicit IOStatusWidget(Source source, QWidget *parent = nullptr);

    // The bar's height on a screen `screenWidth` pixels wide.
    static int BarHeight(int screenWidth) { return screenWidth <= 1024 ? 50 : 180; }
    static constexpr int kRefreshMs = 200;

    // The shown inputs and outputs: 1-4 each in the fixed modes, 1-9 in the custom mode, named as
    // the station names its signals.
    QList<Lamp> inputs() const;
    QList<Lamp> outputs() const;
    QString loginText() const;
    QString groupText() const;
    QString cycleText(const QDateTime &now) const;
    bool linkLost() const { return m_io.lost; }

public slots:
    // Takes the signal words and repaints when anything shown changed.
    void refresh();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QString shownTexts() const;

    Source m_source;
    IoSnapshot m_io;
    QString m_shown;  // the texts of the last paint, to skip repaints that change nothing
    QTimer m_timer;
};
