// Camera health: slow drifts of each camera's picture (light, contrast, focus, pose) against training.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <opencv2/core.hpp>

#include <array>

// What one judged picture says about its camera, measured over the position region.
struct HealthSample
{
    double brightness = 0;  // mean grey level
    double contrast = 0;    // standard deviation of the grey levels
    double focus = 0;       // variance of the Laplacian of the half-size picture, over the contrast squared
    bool located = false;   // the position correction found its model: shift and turn are valid
    double shiftX = 0, shiftY = 0;  // pixels the correction moved the picture back
    double turnDeg = 0;             // degrees it turned it back
};

// Brightness, contrast and focus of `gray` (8-bit, one channel) inside `area` (clipped to it).
// The focus is taken on the half-size picture (pixel noise counts less there, and it costs a
// quarter) and divided by the contrast squared (the light's gain cancels out).
HealthSample MeasureHealth(const cv::Mat &gray, const cv::Rect &area);

// The values of the picture a detection was trained on, and the area they were measured over.
struct HealthReference
{
    bool valid = false;
    double brightness = 0, contrast = 0, focus = 0;
    cv::Rect area;
};
// "cammer%1%2/health.txt" beside the detection's templates: one line "key value" per item.
HealthReference ReadHealthReference(const QString &path);
bool WriteHealthReference(const QString &path, const HealthReference &reference);

// How far a smoothed measure may go before the camera view warns. Defaults sit well above what a
// good camera does from cycle to cycle (the light's flicker and slow swing, the mould's play).
struct HealthLimits
{
    double brightnessPercent = 20;  // either way (the simulator's lamp swings by up to about 10 %)
    double contrastPercent = 30;    // either way
    double focusPercent = 15;       // sharpness lost (good pictures stay within about 7 %)
    double shiftPx = 8;
    double turnDeg = 1.0;
    int cycles = 20;                // the smoothing spans about this many judged pictures
    // The limits from "camerahealth.ini" in the station directory when it is there ([limits]
    // brightnessPercent, contrastPercent, focusPercent, shiftPx, turnDeg, cycles).
    static HealthLimits Load(const QString &path = QStringLiteral("camerahealth.ini"));
};

class CameraHealth
{
public:
    enum Measure { Brightness, Contrast, Focus, Shift, Turn, kMeasures };
    static constexpr int kCameras = 8;
    static constexpr int kDetections = 8;
    // Pictures averaged into the reference of a detection that has no stored one.
    static constexpr int kReferencePictures = 10;

    // A measure of a camera crossing its limit, or coming back within it.
    struct Change
    {
        int camera = 0;
        Measure measure = Brightness;
        bool drifting = false;
        double deviation = 0;  // percent (brightness, contrast, focus), pixels or degrees; signed
    };

    explicit CameraHealth(const HealthLimits &limits = {});

    // The training values of a detection; an invalid reference makes it take its first judged pictures.
    void setReference(int camera, int detection, const HealthReference &reference);
    const HealthReference &reference(int camera, int detection) const;
    // True once, right after `add` completed a reference from the first judged pictures.
    bool takeNewReference(int camera, int detection);

    // One judged picture of the detection; returns the camera's measures whose warning changed.
    QVector<Change> add(int camera, int detection, const HealthSample &sample);
    bool drifting(int camera, Measure measure) const;
    // The camera's standing warnings as operation-record texts, for its status lines.
    QStringList warnings(int camera) const;
    // "Camera 2: image darker by 18 % since training", "Camera 1: position back as at training".
    static QString Text(const Change &change);

private:
    struct Track
    {
        HealthReference reference;
        bool newReference = false;
        int referencePictures = 0;
        HealthReference collecting;  // sums while the reference is taken from the first pictures
        int samples = 0;
        int located = 0;
        double smoothed[kMeasures + 1] = {};  // Brightness, Contrast, Focus, shift x, shift y, Turn
        bool over[kMeasures] = {};
        double deviation[kMeasures] = {};
    };
    void update(Track &track, const HealthSample &sample);

    HealthLimits m_limits;
    Track m_tracks[kCameras][kDetections];
    bool m_drifting[kCameras][kMeasures] = {};
    double m_deviation[kCameras][kMeasures] = {};
};
