// The main window: brings the station up in order and owns its parts for the life of the process.
#pragma once

#include <QDateTime>
#include <QLabel>
#include <QWidget>
#include <functional>
#include <memory>

class InspectionCycle;
class OperationRecord;
class SaveFialImageThread;
class StationCameras;
class QSoundEffect;
class QTimer;
class TouchGuard;

class MoJuWizard : public QWidget
{
    Q_OBJECT
public:
    explicit MoJuWizard(QWidget *parent = nullptr);
    ~MoJuWizard() override;

    // False when start-up stopped early (a damaged database that could not be restored, or a
    // restart that a test intercepted).
    bool isUp() const { return m_up; }
    bool isDetecting() const { return m_detecting; }
    TouchGuard *touchGuard() const { return m_touch.get(); }
    OperationRecord *operationRecord() const { return m_record.get(); }
    InspectionCycle *cycle() const { return m_cycle.get(); }
    StationCameras *cameras() const { return m_cameras.get(); }

    // The operation record.
    void InsertRecord(const QString &text);
    void ClearRecord();

    void StartDetect();
    void StopDetect();

    // Clock injection for tests of the clock check.
    static std::function<QDateTime()> clock;

public slots:
    void SlotCheckDate();

signals:
    // Emitted once the station has come up ("system ready").
    void systemReady(int cameras);

private:
    bool bringUp();
    void buildLayout();
    void runUpdateScript();
    void copyParameterGlobals();
    void checkClock();
    void showInitialising(bool on);
    void setClampInterlock();
    void createCameraViews();
    void createCycle();

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
    bool m_up = false;
    bool m_detecting = false;
};
