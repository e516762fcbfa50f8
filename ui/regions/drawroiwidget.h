// The "Area Settings" page: region editor of one camera and, while an alarm stands, the alarm view.
#pragma once

#include "vision/regionedit.h"

#include <QFrame>
#include <QPointer>
#include <QStringList>
#include <opencv2/core.hpp>

#include <array>
#include <functional>

class CameraVision;
class CammerRecong;
class CheckBox;
class ComboBox;
class InspectionCycle;
class QLabel;
class QPushButton;
class RegionCanvas;
class ReplayDialog;
class Slider;

// What the page needs of the station; the main window fills it in.
struct RegionEditorHost
{
    std::function<int()> cameraCount;
    std::function<CameraVision *(int camera)> vision;
    std::function<CammerRecong *(int camera)> recong;
    // The camera's newest frame (camera format), for the "Live Image" source.
    std::function<cv::Mat(int camera)> liveImage;
    std::function<void(const QString &text)> record;  // operation record
    std::function<InspectionCycle *()> cycle;          // borrowed; may be empty in tests
    // The views of every camera, for deleting all templates.
    std::function<QList<CameraVision *>()> allVisions;
};

class DrawROIWidget : public QFrame
{
    Q_OBJECT
public:
    enum Source { SourceTemplate, SourceLive, SourceRecentNg, SourceOkRecord, SourceNgRecord };

    explicit DrawROIWidget(RegionEditorHost host, QWidget *parent = nullptr);

    // Opens on `camera`; with `alarm` as the alarm view (the failed camera, the alarm's detection).
    void open(int camera, bool alarm);
    bool alarmView() const { return m_alarm; }
    // Leaves the alarm view when the alarm has ended (the editor stays open for regions only when
    // the operator opened it).
    void alarmEnded();
    // Shows `source` without asking (the main window's own choices, e.g. the recent NG images).
    void setSource(Source source);
    int camera() const { return m_camera; }
    int detection() const { return m_d; }
    Source source() const { return m_source; }
    RegionCanvas *canvas() const { return m_canvas; }
    // True when the regions differ from the last save.
    bool dirty() const;
    // Shows the camera's cavity names on the cavity boxes again (after they were confirmed).
    void refreshCavityNames() { showRegion(); }
    // A release code travels with each way out of the alarm (0 don't detect, 1 added as template,
    // 3 re-check); the last one used.
    int lastReleaseCode() const { return m_releaseCode; }

    // Buttons by their text-table row (tests press them like the operator).
    QPushButton *button(int row) const;
    ComboBox *cameraBox() const { return m_cameraBox; }
    ComboBox *detectionBox() const { return m_detectBox; }
    ComboBox *sourceBox() const { return m_sourceBox; }
    Slider *slider(int k) const { return m_sliders[k]; }
    QLabel *verdict() const { return m_verdict; }
    // The trial on stored cycles that is open, if any.
    ReplayDialog *replayDialog() const;

    // The detection names of the selector for a machine mode and detection count.
    static QStringList DetectionNames(int workMode, int detections);

public slots:
    void SlotDrawRect();
    void SlotDrawCircle();
    void SlotDrawPloygn();
    void SlotDrawHand();
    void SlotDeleteROI();
    void SlotDeleteAllROI();
    void SlotCopy();
    // Asks, writes the change rows, the tables, trains and builds the shape models. False when
    // nothing was saved.
    bool SlotSaveData();
    void SlotIgnoreAlarmPoint();
    void SlotDeleteIgnorePoint();
    void SlotShowHideAlarmPoint();
    void SlotChangeDetect(int d);
    void SlotChangeCamera(int camera);
    void SlotChangeSource(int source);
    void SlotAddTemp();
    void SlotTempDeleteCur();
    void SlotTempDeleteAll();
    void SlotTempLast() { step(-1); }
    void SlotTempNext() { step(1); }
    void SlotResample();
    void SlotReCheck();
    void SlotDontDetect();
    void SlotNextFailedCamera();
    void SlotEndSet();
    // The NG output group (0-3) of the selected region; product detection only.
    void SlotOutN(int group);
    // Switches the picture between the live image and the template.
    void SlotLiveTemp();
    void SlotHelp();
    // "Try on stored cycles": judges the stored pictures of the camera and detection with the
    // regions as they stand (unsaved edits included) in a dialog; nothing is changed.
    void SlotTryStored();

signals:
    void closed();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    CameraVision *vision() const;
    CammerRecong *recong() const;
    InspectionCycle *cycle() const { return m_host.cycle ? m_host.cycle() : nullptr; }
    bool onAlarmCamera() const;
    int alarmDetection() const;
    void step(int direction);
    void takeBackup();
    void showRegion();
    void sliderMoved(int k, int value);
    void runPreview();
    void nudge(int dx, int dy);
    void changeSize(int step);
    bool drawingAllowed() const;
    void refreshButtons();
    void layoutPage();
    const cv::Mat *shownImage();
    QString detectionName(int d) const;

    RegionEditorHost m_host;
    int m_camera = 0;
    int m_d = 0;
    bool m_alarm = false;
    Source m_source = SourceTemplate;
    int m_ngShown = 0;
    int m_recordShown = 0;
    QStringList m_recordFiles;
    cv::Mat m_recordImage, m_liveImage;
    bool m_paramHigh = false;  // the slider edits the high half of a packed parameter
    bool m_moveAll = false;
    int m_target = 0;
    int m_releaseCode = -1;
    bool m_filling = false;
    RegionEdit::DetectionState m_backup[8];
    // The last complete trial on stored cycles of each detection since the last save, for the
    // operation record of the save.
    struct StoredTrial
    {
        bool run = false;
        int good = 0, goodFailing = 0, failed = 0, failedPassing = 0;
        RegionEdit::DetectionState regions;  // as they were tried
    };
    StoredTrial m_trial[8];
    QPointer<ReplayDialog> m_replayDialog;

    RegionCanvas *m_canvas;
    QFrame *m_top, *m_alarmRow, *m_side, *m_cavityRow;
    ComboBox *m_cameraBox, *m_detectBox, *m_sourceBox;
    QLabel *m_alarmText, *m_verdict, *m_regionLabel;
    std::array<Slider *, 3> m_sliders{};
    std::array<QLabel *, 3> m_sliderNames{};
    std::array<CheckBox *, 16> m_cavity{};
    QList<QPair<int, QPushButton *>> m_buttons;
    static constexpr int kSideRows = 10;
    std::array<QList<QPushButton *>, kSideRows> m_sideRow;
    QPushButton *m_pageButton = nullptr;
    int m_sidePage = 0;
    bool m_compact = false;
    bool m_slidersShown = true;
    QPushButton *m_func, *m_paramSwitch, *m_outButton, *m_targetButton, *m_moveAllButton, *m_showIgnore, *m_drawPolygon;
};
