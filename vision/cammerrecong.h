// The recognizer of one camera view: trained region models, position correction and the detection run.
#pragma once

#include "vision/cammersingleton.h"
#include "vision/lib/findshape.h"
#include "vision/lib/graymatch.h"
#include "vision/lib/surf.h"

#include <QMutex>
#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

class CameraVision;

// One region's verdict as the network report carries it: eight 32-bit ints in this order.
struct param_roi
{
    int32_t camera;      // 0-based
    int32_t detection;
    int32_t region;
    int32_t function;
    int32_t value;       // measured value
    int32_t lower;       // lower limit
    int32_t upper;       // upper limit
    int32_t imageState;  // imageOK at the time of the record
};

// Region verdicts waiting for the network service (CNT_Net::CNT_SendStatistics_Once), appended by
// Run while CammerRecong::reportRegions is set and network reporting is on; guarded by
// g_listParamROIMutex because the network service takes them from its own thread.
extern std::vector<param_roi> g_listParamROI;
extern QMutex g_listParamROIMutex;

// Owned by the camera view next to its CameraVision, which it borrows and which must outlive it.
class CammerRecong
{
public:
    // Trains every detection whose stage is enabled (stage_enable of gpWPara, d < gDNum) unless
    // `train` is false.
    explicit CammerRecong(CameraVision &view, bool train = true);
    CammerRecong(const CammerRecong &) = delete;
    CammerRecong &operator=(const CammerRecong &) = delete;

    // Rebuilds the models of detection d from the template library, the regions, the ignore
    // points and the system parameters: gray models for defect regions, feature models for
    // similarity regions, reference edge points for distance regions.
    void VarTrain(int d);
    // VarTrain of every enabled stage.
    void TrainEnabledStages();

    // Position correction. CreateShape(d) builds the shape model of detection d from its first
    // "Position" region (or the middle half of the image) in template 0; ShapeMatch(d) writes
    // the captured image, moved (and turned) back onto the template's pose, into the working
    // image, or copies it unchanged when correction is off, impossible or fails.
    void CreateShape(int d);
    void ShapeMatch(int d);
    FindShape shapeModel[kMaxDetect];
    int shapeCenterX[kMaxDetect] = {};
    int shapeCenterY[kMaxDetect] = {};
    cv::Rect shapeSearchRect[kMaxDetect];  // all zero when empty
    // What the last ShapeMatch found: the shift and turn it corrected (found false when it
    // corrected nothing).
    struct MatchResult
    {
        bool found = false;
        double dx = 0, dy = 0, angle = 0;
    };
    MatchResult lastMatch;

    // Judges the working image for detection d region by region; the verdicts go into the
    // camera view (imageOK, roiOK, roiValue, roiBlobNum, roiBlobRect, roiCurPoint, alarmMap).
    void Run(int d);
    // Live preview of region i of detection d while a parameter is moved: the gray-level,
    // direction and distance functions without the trained models. Draws the NG rectangles into
    // the view's display image (a copy of the working image).
    void RunTest(int d, int i);
    // Set by the inspection cycle when the verdicts of this run are to be reported.
    static inline bool reportRegions = false;
    // A recognizer judging stored pictures beside the station (the replay) neither reports its
    // verdicts nor writes region errors to the operation record; set before its first run.
    bool quiet = false;

    GrayMatch &grayModel(int d, int i) { return m_gray[d * kMaxRoi + i]; }
    SURF &surfModel(int d, int i) { return m_surf[d * kMaxRoi + i]; }
    // Where detection d may alarm: 8-bit, image size, non-zero outside ignore areas and points.
    // Empty while the detection has neither (or was never trained): alarms allowed everywhere.
    cv::Mat allowMask[kMaxDetect];

private:
    // Steps of one region; false when the region could not be judged (error recorded).
    bool judgeRegion(int d, int i, bool withModels);
    void record(int d, int i, int lower, int upper);

    CameraVision &m_view;
    cv::Mat m_oneChannel;  // the working image as one byte per pixel, reused
    std::vector<GrayMatch> m_gray;  // [d * kMaxRoi + i]
    std::vector<SURF> m_surf;
};
