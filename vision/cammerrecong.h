// The recognizer of one camera view: the trained region models of every detection.
#pragma once

#include "vision/cammersingleton.h"
#include "vision/lib/graymatch.h"
#include "vision/lib/surf.h"

#include <opencv2/core.hpp>

#include <vector>

class CameraVision;

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

    GrayMatch &grayModel(int d, int i) { return m_gray[d * kMaxRoi + i]; }
    SURF &surfModel(int d, int i) { return m_surf[d * kMaxRoi + i]; }
    // Where detection d may alarm: 8-bit, image size, non-zero outside ignore areas and points.
    cv::Mat allowMask[kMaxDetect];

private:
    CameraVision &m_view;
    std::vector<GrayMatch> m_gray;  // [d * kMaxRoi + i]
    std::vector<SURF> m_surf;
};
