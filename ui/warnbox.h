// The station's message boxes: warnings, yes/no questions, link, camera and repeated-failure boxes.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <tuple>
#include <vector>

class QLabel;
class QPushButton;

// A text and "Confirm". Shown modal with exec() or left visible while the station carries on.
class WarnBox : public QDialog
{
    Q_OBJECT
public:
    explicit WarnBox(QWidget *parent = nullptr);
    void setText(const QString &text);
    QString text() const;

    // Without a person at the panel (tests, unattended runs) an answerer takes every modal box:
    // it gets the box's text and returns the dialog result (Accepted, Rejected or a button code).
    using Answerer = std::function<int(const WarnBox &box)>;
    static void setAnswerer(Answerer answerer);
    static const std::vector<QString> &shownTexts();  // every text shown since start, in order
    static void clearShownTexts();

    // Showing any box wakes the screen and restarts the screen-off timer; installed by the main window.
    static std::function<void()> onShown;

    int exec() override;

protected:
    void showEvent(QShowEvent *event) override;
    // Buttons and their text rows; the texts follow the language when the box is shown.
    QLabel *m_label;
    QPushButton *m_confirm;
    std::vector<std::tuple<QPushButton *, int, const char *>> m_buttonRows;
};

// A question with "YES" (accept) and "NO" (reject).
class ChooseBox : public WarnBox
{
    Q_OBJECT
public:
    explicit ChooseBox(QWidget *parent = nullptr);
};

// The IO link box: row 589 while the link is lost, row 590 once it is back. It cannot be dismissed
// while the link is still lost.
class LostComWarnBox : public WarnBox
{
    Q_OBJECT
public:
    explicit LostComWarnBox(QWidget *parent = nullptr);
    std::function<bool()> linkLost;  // defaults to gisLostCom
    void done(int result) override;
};

// A camera was lost. "Shut Down" powers the panel off while a camera is still lost.
class LostCameraWarnBox : public WarnBox
{
    Q_OBJECT
public:
    static constexpr int ShutDown = 2;
    explicit LostCameraWarnBox(QWidget *parent = nullptr);
    std::function<bool()> cameraLost;
    std::function<void()> shutDown;  // log, close the databases, "init 0"
    void done(int result) override;
};

class ReconnectCameraWarnBox : public WarnBox
{
    Q_OBJECT
public:
    explicit ReconnectCameraWarnBox(QWidget *parent = nullptr);
};

// The product stage failed too often in a row under the no-alarm pulse options.
class ContinuousNgWarnBox : public WarnBox
{
    Q_OBJECT
public:
    explicit ContinuousNgWarnBox(QWidget *parent = nullptr);
    std::function<void()> onClosed;
    void done(int result) override;
};

extern WarnBox *gpWarnBox;
extern ChooseBox *gpChooseBox;
extern LostComWarnBox *gpLostComWarnBox;
extern LostCameraWarnBox *gpLostCameraWarnBox;
extern ReconnectCameraWarnBox *gpReconnectCameraWarnBox;
extern ContinuousNgWarnBox *gContinuousNgWarnBox;

// Creates the boxes once; they live as long as the process.
void CreateWarnBoxes(QWidget *parent);
