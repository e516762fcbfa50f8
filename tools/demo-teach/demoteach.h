// Teaching of the demo mould: regions, templates and parameters that let the station guard the simulated machine.
#pragma once

// The machine simulator draws its mould with the scene generator; this teaches a station directory
// for exactly that mould the way a setter would at the panel: the noise-free view becomes template 0,
// the darkest and brightest of a series of good shots (position corrected) the further templates, one
// defect region over each cavity's part for the product check and one over each empty cavity for the
// mould check, and a position region on the steel above the cavities. Each cavity region's filter
// and sensitivity are then set from good shots and faults judged against its band, with room on
// both sides. Regions, templates and parameters are written through the station's own save functions
// (PARAM.db, cammer%1%2/template%3.bmp).

#include "params/wizardpara.h"
#include "tools/scenegen/mouldscene.h"

#include <QString>
#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <vector>

class CameraVision;
class CammerRecong;

namespace demoteach {

struct DemoOptions
{
    scenegen::MouldOptions mould;  // size, cavities and seed of the simulated machine
    int cameras = 2;
    int goodShots = 9;             // good shots taught as templates beside the reference
    // Stage delays (the product check after the mould opens, the mould check after the ejector is
    // back) and the input hold time, in 0.1 s; negative keeps the station's values.
    int productDelay = -1;
    int mouldDelay = -1;
    int inputHold = -1;
};

// One region as the editor would place it.
struct PlannedRegion
{
    int function = 0;
    cv::Rect rect;  // image pixels of the reference view
    int para1 = 0, para2 = 0, para3 = 0;
};
// Regions of one camera's detection (0 product, 1 mould): the position region first, then one
// defect region per cavity in cavity order.
std::vector<PlannedRegion> planRegions(const scenegen::MouldView &view, int detection);

// Verdicts of the taught regions on generated shots.
struct CheckResult
{
    int goodImages = 0;
    int goodFailed = 0;                  // good images that failed (would be false stops)
    std::array<int, 6> faultImages{};    // indexed by scenegen::Fault
    std::array<int, 6> faultsPassed{};   // faulty images that passed (would be missed)
    int worstGoodArea = 0;               // largest NG area of a cavity region on a good image
    std::array<int, 6> smallestFaultArea{-1, -1, -1, -1, -1, -1};  // of the faulty cavity's region
    int smallestLimit = 0, largestLimit = 0;  // area limits of the cavity regions
    // Band use: by how much a region's band could be scaled before its verdict turns, below 1 a
    // pass, above 1 a failure. 1 / worstGoodUse is the room the good shots leave, leastFaultUse
    // that of the faults.
    double worstGoodUse = 0.0;
    double leastFaultUse = -1.0;
};

// What teaching measured for one cavity region: the filter that left the widest room and the
// sensitivity it chose in the middle of that room, between the least that passes the measured good
// shots with their deviations 1.7 times larger and the most that fails the measured faults with
// theirs 1.5 times smaller. While least <= most the region has that room on both sides.
struct RegionTeaching
{
    int camera = 0;      // 0-based
    int detection = 0;
    int cavity = 0;
    int filter = 0;
    int sensitivity = 0;
    double least = 0.0;
    double most = 0.0;
};

// A station directory opened for teaching: the working directory moves there and PARAM.db ("dbIn")
// and SN.db ("dbT") are open, with the parameter record loaded into gpWPara and the image
// geometry of the demo mould set, until the object goes.
class DemoStation
{
public:
    DemoStation(const QString &dir, const DemoOptions &options);
    ~DemoStation();
    DemoStation(const DemoStation &) = delete;
    DemoStation &operator=(const DemoStation &) = delete;

    bool isOpen() const { return m_open; }
    // Parameters, then regions and templates of every camera. False with a reason on a write error.
    bool teach(QString *error);
    // Loads camera `camera` as the station would and judges `shots` good shots of both stages and,
    // in every cavity, shots / 10 (at least one) of every fault kind; shot numbers count from
    // `firstShot`.
    CheckResult check(int camera, int shots, uint64_t firstShot) const;
    // The cavity regions of the last teach(), camera by camera.
    const std::vector<RegionTeaching> &taught() const { return m_taught; }

private:
    bool teachCamera(int camera, QString *error);
    // Judges measuring shots, good ones and every fault of the stage in every cavity, and sets
    // the filter and sensitivity of each cavity region of detection d from what they leave.
    void measureSensitivities(const scenegen::MouldView &view, CameraVision &vision, CammerRecong &recong, int d);

    DemoOptions m_options;
    WizardPara m_para;
    QString m_previousDir;
    bool m_open = false;
    std::vector<RegionTeaching> m_taught;
};

}  // namespace demoteach
