// The camera views of the station with their vision state, and the cycle's hooks into them.
#pragma once

#include "cycle/inspectioncycle.h"

#include <QList>
#include <QStringList>
#include <opencv2/core.hpp>

#include <array>
#include <memory>

class AlarmEvidenceWriter;
class CameraHealth;
class CameraVision;
class ImageWriter;
class ReplayStore;
class CammerRecong;
class CammerWidget;
class QWidget;

class StationCameras
{
public:
    // Probes the back-end, builds the eight positions' views as children of `parent` (each opens its
    // camera) and, for every opened view, loads its regions and templates and trains its models.
    explicit StationCameras(QWidget *parent);
    ~StationCameras();

    int count() const;
    CammerWidget *view(int position) const { return m_views[position]; }
    CameraVision *vision(int position) const { return m_vision[position].get(); }
    CammerRecong *recong(int position) const { return m_recong[position].get(); }

    // The cameras (0-based positions) whose region tables failed to load; the main window keeps
    // detection stopped with clamping prohibited until the operator acts.
    QList<int> regionTableFailures() const;
    // True when detection d of the camera at `position` holds no region by a count stored as 0:
    // it checks nothing and passes every part.
    bool notTaught(int position, int detection) const;

    // Fills the camera side of the cycle's hooks: frames, detection, results and judged images.
    void fillCycleHooks(CycleEnvironment &env);
    // Rebuilds the shape models and trains every active detection of every camera (new templates).
    void retrainAll();
    // The camera's standing drift warnings (light, contrast, focus, pose since training).
    QStringList healthWarnings(int position) const;
    CameraHealth &health() { return *m_health; }
    // Blocks until every queued alarm evidence picture is written (tests, the end of the process).
    void waitForEvidence();

private:
    DetectVerdict detect(int camera, int detection);
    void keepJudgedImage(int camera, int detection, bool ok, bool doorTrigger);
    void saveRawImage(int camera, int detection, int index);
    void watchCamera(int camera, int detection);
    void keepAlarmEvidence(int camera, int detection);
    // The area the health measures are taken over: the first position region, else the middle half.
    cv::Rect healthArea(int camera, int detection) const;
    // The training values of a newly resampled reference template, stored beside it.
    void storeHealthReference(int camera, int detection);
    void keepReplayImage(int camera, int detection, bool ok);

    std::array<CammerWidget *, 8> m_views{};  // children of the main window
    std::array<std::unique_ptr<CameraVision>, 8> m_vision;
    std::array<std::unique_ptr<CammerRecong>, 8> m_recong;  // declared after the state it trains on
    std::unique_ptr<ImageWriter> m_rawWriter;                // raw images, written off the GUI thread
    std::unique_ptr<CameraHealth> m_health;
    bool m_healthLoaded[8][8] = {};  // the stored reference was read for [camera][detection]
    std::unique_ptr<AlarmEvidenceWriter> m_evidence;         // rendered and written off the GUI thread
    std::unique_ptr<ReplayStore> m_replayStore;              // judged pictures for trying settings on
};
