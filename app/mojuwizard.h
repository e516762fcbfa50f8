// The main window: brings the station up in order and owns its parts for the life of the process;
// lays out the camera views, zooms and pans the single view and hosts the operator's panels.
#pragma once

#include "ui/mainpanels.h"
#include "ui/viewstate.h"
#include "ui/cammerwidget.h"

#include <QDateTime>
#include <QLabel>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class AlarmBand;
class DetectCycleWidget;
class DrawROIWidget;
class IndexButton;
class InspectionCycle;
class IOStatusWidget;
class OperationRecord;
class QPainter;
class QSoundEffect;
class QTimer;
class QToolButton;
class SaveFialImageThread;
class StationCameras;
class TouchGuard;
class LoginLevels;

class MoJuWizard : public QWidget
{
    Q_OBJECT
public:
    explicit MoJuWizard(QWidget *parent = nullptr);
    ~MoJuWizard() override;

    // False when start-up stopped early (a damaged database that could not be restored, or a
    // restart that a test intercepted).
    bool isUp() const { return m_up; }
    // Detecting as the cycle sees it: false after the stop button, a raised alarm or a clock error.
    bool isDetecting() const;
    TouchGuard *touchGuard() const { return m_touch.get(); }
    OperationRecord *operationRecord() const { return m_record.get(); }
    InspectionCycle *cycle() const { return m_cycle.get(); }
    StationCameras *cameras() const { return m_cameras.get(); }

    // The operation record.
    void InsertRecord(const QString &text);
    void ClearRecord();

    void StartDetect();
    void StopDetect();

    // The login level (0 "Unlogged", 1 "Primary", 2 "Advanced") and its checks.
    LoginLevels &loginLevels() const { return *m_login; }
    int CheckPassword();
    bool CheckRoot();
    // The automatic logout, when no touch came for the auto-logout time.
    void TimerLogout();

    // Clock injection for tests of the clock check.
    static std::function<QDateTime()> clock;

    // ---- Screens ----
    // The panels hosted over the camera views; the statistics panel exists only with statistics on.
    enum Panel {
        SettingsPanel, RegionEditorPanel, HelpPanel, CameraAssignmentPanel, NetworkPanel,
        IoNamesPanel, CavityNamesPanel, UsersPanel, StatisticsPanel, IoSettingsPanel, PanelCount
    };
    QWidget *panel(Panel which) const { return m_panels[which]; }
    DrawROIWidget *regionEditor() const { return m_editor; }
    IndexButton *indexButton() const { return m_index; }
    AlarmBand *alarmBand() const { return m_band; }
    IOStatusWidget *ioStatusBar() const { return m_ioBar; }
    const ViewState &viewState() const { return m_view; }
    // The shown view of camera `position` (0-7), nullptr without one.
    CammerWidget *cameraView(int position) const;
    // The zoom and move buttons: zoom in, reset, zoom out, up, down, left, right.
    QToolButton *zoomButton(int i) const { return m_zoomButtons[i]; }
    // An input pad (number pad, text pad) to hide when a press lands outside it.
    void registerPad(QWidget *pad) { m_pads.registerPad(pad); }

public slots:
    void SlotCheckDate();

    // Camera views and zoom.
    void ChangeCammer();
    void SelectCamera(int position);
    void SlotReturn();
    void MScale(int step);
    void MEnlargeScale();
    void MReductionScale();
    void MRecovery();
    void SlotMove(int dx, int dy);
    void SlotMoveT() { SlotMove(0, -1); }
    void SlotMoveB() { SlotMove(0, 1); }
    void SlotMoveL() { SlotMove(-1, 0); }
    void SlotMoveR() { SlotMove(1, 0); }
    void MShowHide(int mode);
    void MTimerScale();

    // Panels.
    void SlotSystemPara();
    void SlotAccount();
    void SlotHelp();
    void SlotShowStatisticsWidget();
    void SlotShowAlarmImgae();
    // The region editor ("Area Settings").
    void SlotAdjustArea();
    // The capture-mode button: machine trigger (word 420 on) or continuous capture.
    void SlotChangeCaptureMode();

signals:
    // Emitted once the station has come up ("system ready").
    void systemReady(int cameras);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showCycleRecords();
    void exportProgramData();
    bool bringUp();
    void buildLayout();
    void runUpdateScript();
    void copyParameterGlobals();
    void checkClock();
    void showInitialising(bool on);
    void setClampInterlock();
    // The start after a damaged PARAM.db was restored: recorded (and told); true when only the
    // factory copy was left and the station must be taught before it detects.
    bool reportParameterRestore();
    void holdUntaught(bool mustBeTaught, const QList<int> &tableFailures);
    // Records every detection in use that holds no region, when detection starts.
    void recordUntaught();
    void createCameraViews();
    void createCycle();
    void createScreens();
    void connectScreens();
    void refreshScreens();
    void refreshBand();
    int buttonPanelWidth() const;
    // The IO status bar along the bottom, and the window above it (views, button panel, bands).
    QRect ioBarRect() const;
    QSize viewArea() const;
    void placeZoomButtons();
    void restartFoldBack();
    void applyZoom();
    bool blockingPanelOpen() const;
    bool alarmRaised() const;
    int shownCamera() const;
    void openPanel(Panel which);
    // The statistics screen, made once the result statistics exist; false without them.
    bool makeStatisticsPanel();
    void panelClosed(Panel which);
    void paintRegions(QPainter &painter, const QTransform &imageToView, int position) const;
    QList<ViewStatusLine> viewStatus(int position) const;

    std::unique_ptr<LoginLevels> m_login;  // before the record, which reads it to its end
    std::unique_ptr<TouchGuard> m_touch;
    std::unique_ptr<OperationRecord> m_record;
    std::unique_ptr<StationCameras> m_cameras;
    std::unique_ptr<InspectionCycle> m_cycle;
    std::unique_ptr<SaveFialImageThread> m_failThread;
    QWidget *m_cameraGrid = nullptr;
    QTimer *m_dateCheck = nullptr;
    QSoundEffect *m_alarm = nullptr;
    QLabel *m_statusLine = nullptr;
    QLabel *m_cameraArea = nullptr;
    QLabel *m_initialising = nullptr;
    IndexButton *m_index = nullptr;
    std::array<QWidget *, PanelCount> m_panels{};
    DetectCycleWidget *m_cycleRecords = nullptr;
    bool m_exportRunning = false;  // a program-data export is copying
    std::array<QToolButton *, 7> m_zoomButtons{};
    QTimer *m_foldBack = nullptr;
    QTimer *m_refresh = nullptr;
    ViewState m_view;
    PadGuard m_pads;
    QPoint m_pressPos;
    bool m_browsingAlarmImages = false;
    qint64 m_failureShownUntil[8] = {};  // a failed camera's view is framed in red until then
    bool m_panelHiddenByAlarm = false;
    QList<QWidget *> m_panelsHiddenByAlarm;  // open panels that made way for the alarm
    AlarmBand *m_band = nullptr;
    IOStatusWidget *m_ioBar = nullptr;
    DrawROIWidget *m_editor = nullptr;   // the region editor and alarm view, one of m_panels
    bool m_editorBeforeAlarm = false;    // the editor was open when the alarm view took it over
    bool m_regionCheck = false;          // the editor is the region check after a re-sampling
    QString m_stopReason;  // shown on the stop band; the plain "stopping" when empty  // the button panel is away while the alarm stands
    bool m_up = false;
    bool m_detecting = false;
};
