// Synthetic gray mould scenes for vision tests and benchmarks: parts, poses, light, noise, defects.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

// Typical use: Scene scene({1280, 1024}, seed) once; per test image scene.render(pose) (or
// scene.reference().clone()), then applyIllumination, addNoise, paintForeignObject or addDefect.
// A missing part is a copy of the scene with removePart(i); copies share the texture.
namespace SceneImage {

// A rigid movement of the whole scene, as when the mould or the camera shifts: a turn by angleDeg
// about `centre` (counter-clockwise as seen on screen, the sense of cv::getRotationMatrix2D),
// followed by a shift. Coordinates are image pixels; pixel centres sit on integer coordinates.
struct Pose {
    cv::Point2d centre;
    cv::Point2d shift;
    double angleDeg = 0.0;

    // The 2 x 3 map from reference-scene coordinates to posed-scene coordinates.
    cv::Matx23d matrix() const;
    // Where a point of the reference scene lies in the posed scene.
    cv::Point2d apply(const cv::Point2d &point) const;
};

enum class PartShape { Rectangle, Disc, Ring, Polygon };

// One moulded part (or mould feature) lying on the background, drawn in a uniform gray.
struct Part {
    PartShape shape = PartShape::Rectangle;
    cv::Point2d centre;
    cv::Size2d size;                  // outer width and height (discs and rings: diameter in width)
    double angleDeg = 0.0;            // rectangles and polygons
    int gray = 90;
    std::vector<cv::Point2d> outline; // polygons: vertices relative to the centre
};

struct SceneOptions {
    // Gray range of background and parts. The default keeps a gain of 0.5..2.0 with an offset
    // of +-30 inside 0..255, so illumination tests do not lose edges to clipping.
    int grayLow = 60;
    int grayHigh = 112;
    int partCount = 60;
    double partMinSize = 30.0;
    double partMaxSize = 150.0;
    double textureSigma = 3.0;        // standard deviation of the background texture, gray levels
};

// A reference scene: background texture and parts, rendered once and cached. Rendering is
// deterministic for a given size, seed and option set.
class Scene {
public:
    Scene(cv::Size size, std::uint64_t seed, const SceneOptions &options = {});

    cv::Size size() const { return m_size; }
    const std::vector<Part> &parts() const { return m_parts; }
    // Adds or removes parts; the next render draws the changed scene (the texture stays).
    void addPart(const Part &part);
    void removePart(int index);

    // The scene at the reference pose, 8-bit gray.
    const cv::Mat &reference() const;
    // The whole scene moved by `pose` (bicubic), 8-bit gray, same size; borders are mirrored content.
    cv::Mat render(const Pose &pose) const;
    // Only `window` (posed-scene coordinates) of the moved scene: cheaper when a test needs a part.
    cv::Mat render(const Pose &pose, const cv::Rect &window) const;

private:
    void draw() const;

    cv::Size m_size;
    std::uint64_t m_seed;
    SceneOptions m_options;
    std::vector<Part> m_parts;
    cv::Mat m_texture;            // CV_32F, background gray with texture
    mutable cv::Mat m_reference;  // CV_8U, empty until drawn
};

// Global illumination change of the camera image: gray' = gain * gray + offset, clipped to 0..255.
void applyIllumination(cv::Mat &image, double gain, double offset);

// Adds white Gaussian sensor noise of the given standard deviation (gray levels), clipped to 0..255.
void addNoise(cv::Mat &image, double sigma, std::uint64_t seed);

// A rotated rectangle inside the reference rectangle `area` that covers `fraction` of its area,
// placed at random (aspect 1:2..2:1 where it fits), then moved by `pose` into the posed scene.
cv::RotatedRect coveringBox(const cv::Rect &area, double fraction, const Pose &pose, cv::RNG &rng);

// Paints a foreign object: the rotated box filled with a uniform gray and a fine texture of its own.
void paintForeignObject(cv::Mat &image, const cv::RotatedRect &box, int gray, std::uint64_t seed);

enum class DefectShape { Square, Disc };

// A small defect: every pixel of a sizePx x sizePx square (or a disc of that diameter) whose
// top-left corner is `topLeft` changes by `contrast` gray levels (negative = darker), clipped.
void addDefect(cv::Mat &image, cv::Point topLeft, int sizePx, int contrast,
               DefectShape shape = DefectShape::Square);

}  // namespace SceneImage
