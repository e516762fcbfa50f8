// Synthetic camera images of an open injection mould: steel, cavities, ejector pins, parts and faults.
#pragma once

// Plain OpenCV, no Qt: the machine simulator, the scenegen program and tests share it. Every image is
// a function of the mould options, the camera and the shot, so a seed repeats a run exactly.

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace scenegen {

// Product: the moulded parts still sit in the open mould. Mould: the cavities after ejection.
enum class Stage { Product, Mould };

enum class Fault {
    None,
    PartLeft,       // a part the ejector did not throw out, still in its cavity
    ShortShot,      // a part with a piece missing: the melt did not fill the cavity
    Sprue,          // a piece of sprue or runner fallen onto the mould face
    ForeignObject,  // a screw or similar metal piece lying in the mould
    WrongWay,       // a part turned over and skewed in its cavity
};

inline constexpr Fault kFaultKinds[] = {Fault::PartLeft, Fault::ShortShot, Fault::Sprue, Fault::ForeignObject,
                                        Fault::WrongWay};

// The stage whose image shows the fault: faults of the part show at the product check, leftovers in
// the mould at the mould check.
Stage faultStage(Fault fault);
// "none", "part-left", "short-shot", "sprue", "foreign-object", "wrong-way".
const char *faultName(Fault fault);
bool parseFault(const std::string &name, Fault *fault);
const char *stageName(Stage stage);

struct MouldOptions
{
    cv::Size size{1280, 1024};
    int cavities = 4;      // 1-16, laid out in a grid
    bool colour = false;   // 3-channel BGR with coloured plastic; otherwise 8-bit gray
    uint64_t seed = 1;
};

// One exposure: what lies in the mould and how this shot differs from the reference view.
struct Shot
{
    Stage stage = Stage::Mould;
    Fault fault = Fault::None;
    int faultCavity = 0;
    uint64_t number = 0;  // shot index: seeds shift, illumination drift, noise and highlights
    bool vary = true;     // false: the reference view without shift, drift or noise
    // A camera going off slowly (see Drift): added on top of the shot's own variation.
    double blurSigma = 0.0;        // lens out of focus: Gaussian blur before the sensor noise
    cv::Point2d driftShift{0, 0};  // camera moved on its mount, pixels
    double lightFactor = 1.0;      // lamp ageing: the light scaled by this
};

// Slow degradations of a camera over a run, for the camera-health warnings.
enum class Drift { None, Focus, Shift, Light };
// "none", "focus", "shift", "light".
const char *driftName(Drift drift);
bool parseDrift(const std::string &name, Drift *drift);
// Applies `drift` at `progress` (0 at the start, 1 fully developed) to a shot: focus blurs up to a
// sigma of 3 px, shift moves the picture up to 24 px, light dims it to 55 %.
void applyDrift(Drift drift, double progress, Shot *shot);

// What one camera sees of the mould. Steel texture, recesses, pins and runners are drawn once per
// camera; each shot adds the parts and faults and the variation of the moment. Shots of the same
// number share their shift, light and noise whatever lies in the mould, so two stages of one shot
// differ only where the contents differ.
class MouldView
{
public:
    MouldView(const MouldOptions &options, int camera);

    cv::Mat render(const Shot &shot) const;

    const MouldOptions &options() const { return m_options; }
    int camera() const { return m_camera; }
    // Recess outlines in reference coordinates (a shot shifts them by at most kMaxShift pixels).
    const std::vector<cv::Rect> &cavityRects() const { return m_cavities; }
    // The reference area a fault changes; empty for Fault::None or a cavity out of range.
    cv::Rect faultArea(Fault fault, int cavity) const;

    static constexpr double kMaxShift = 3.0;

private:
    struct Variation
    {
        cv::Point2d shift;
        double angleDeg = 0.0;
        double gain = 1.0;
        double offset = 0.0;
        cv::Point2d lightSlope;  // relative brightness change per pixel
        double noiseSigma = 0.0;
    };

    Variation variation(const Shot &shot) const;
    void drawPart(cv::Mat &gray, cv::Mat &plastic, int cavity, Fault fault, uint64_t shot) const;
    void drawSprue(cv::Mat &gray, cv::Mat &plastic, int cavity) const;
    void drawForeignObject(cv::Mat &gray, int cavity) const;
    cv::Mat colourise(const cv::Mat &gray, const cv::Mat &plastic) const;

    MouldOptions m_options;
    int m_camera = 0;
    uint64_t m_viewSeed = 0;
    static constexpr int kNoiseMargin = 64;

    cv::Mat m_steel;  // 8-bit reference view of the empty mould
    cv::Mat m_noise;  // unit sensor noise, kNoiseMargin larger than the image each way
    std::vector<cv::Rect> m_cavities;
};

}  // namespace scenegen
