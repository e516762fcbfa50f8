// The button panel of the main window (IndexButton): start/stop, skip, manual triggers, capture
// mode, the region-warning count and the entries to the other panels.
#pragma once

#include <QFrame>
#include <QString>

#include <array>

class InspectionCycle;
class QLabel;
class QPushButton;
class WizardPara;

// Name of a detection stage in the machine mode in force: "Prod" / "Mold" in modes 0 and 3,
// "Left prod" .. "Right mold" in modes 1 and 2, "1st" .. "8th" otherwise.
QString StageName(int stage, int workMode);

// A strip on the right edge of the screen, over the camera views. The main window connects its
// buttons; Refresh() sets captions and visibility from the cycle and the parameter record.
class IndexButton : public QFrame
{
    Q_OBJECT
public:
    explicit IndexButton(QWidget *parent = nullptr);

    // Captions and visibility: start/stop from detectState (row 136 while stopped, else 127), skip
    // (row 576 while skipping, else 573) only with word 153, one manual trigger per stage in force
    // with the snapshot switch (word 162), capture mode (row 651 while the machine triggers the
    // cameras, else 650), the region-warning count (word 479), statistics only when statistics
    // are on, and "Multi-screen" only while a single view of several is shown.
    void Refresh(const InspectionCycle *cycle, const WizardPara *para, int stages, bool singleOfSeveral);

    QPushButton *startStop = nullptr;
    QPushButton *skip = nullptr;
    std::array<QPushButton *, 8> manual{};
    QPushButton *captureMode = nullptr;
    QLabel *ngWarnCount = nullptr;
    QPushButton *systemPara = nullptr;
    QPushButton *areaSettings = nullptr;  // the region editor
    QPushButton *users = nullptr;
    QPushButton *alarmImages = nullptr;
    QPushButton *statistics = nullptr;
    QPushButton *help = nullptr;
    QPushButton *multiScreen = nullptr;
    QLabel *status = nullptr;  // one line of news: initialising, ready
};
