// Building blocks of the edge-based shape model: pyramids, edge points, orientation responses, pose fit.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

namespace ShapeModel {

// Edge orientations are quantised into 16 bins of 22.5 degrees over the full circle, so the
// direction from dark to bright (the edge polarity) is kept.
constexpr int OrientationBins = 16;
// Response of one feature is 0..MaxResponse; 63 features keep the 8-bit sum from saturating.
constexpr int MaxResponse = 4;
constexpr int MaxTopFeatures = 63;

// A model edge point: position relative to the model centre, in pixels of its pyramid level;
// unit gradient direction (pointing from dark to bright); gradient strength (Sobel units).
struct EdgePoint {
    float x = 0.0f;
    float y = 0.0f;
    float nx = 0.0f;
    float ny = 0.0f;
    float strength = 0.0f;
    bool clipped = false;  // full-resolution fit points: the model's own edge was clipped (EdgeHit)
};

// Turns a vector by `angleRad` counter-clockwise as seen on screen (image y axis pointing down).
inline cv::Point2d turn(double x, double y, double cosA, double sinA)
{
    return {cosA * x + sinA * y, -sinA * x + cosA * y};
}

// Halves an 8-bit image by 2 x 2 averaging; an odd last row or column is dropped.
// Pixel centres of the levels relate as x_fine = 2 * x_coarse + 0.5.
void halve(const cv::Mat &src, cv::Mat &dst);

// Edge pixels of an 8-bit image: 3 x 3 Sobel gradient, thinned to the local maximum across the edge,
// at least `threshold` strong, inside `mask` (empty = everywhere) and one pixel off the border.
// Positions are pixel coordinates of `image`.
std::vector<EdgePoint> edgePixels(const cv::Mat &image, const cv::Mat &mask, float threshold);

// Strength threshold that keeps the clear edges of a model image: well above the texture and the
// noise of the image, well below its strongest edges.
float automaticThreshold(const cv::Mat &image, const cv::Mat &mask);

// Picks up to `count` points spread evenly over the candidates, strongest first.
std::vector<EdgePoint> spreadSelect(std::vector<EdgePoint> candidates, int count);

// Orientation response maps of one pyramid level (the search side of the coarse scan). Map b holds,
// for each pixel, how well the gradients in its 3 x 3 neighbourhood agree with orientation bin b
// (0..MaxResponse). The scan visits every second position in x and y, so each map is kept as four
// quarter maps, one per parity of x and y: a feature then reads one contiguous quarter map at a fixed
// offset for all scan positions. Quarter maps are padded by `pad` zero cells on every side.
struct ResponseMaps {
    int rows = 0;       // the level image
    int cols = 0;
    int gridRows = 0;   // scan positions: (rows + 1) / 2 x (cols + 1) / 2
    int gridCols = 0;
    int pad = 0;
    int stride = 0;
    std::vector<std::uint8_t> maps[OrientationBins * 4];
    cv::Mat work[8];  // intermediate images, kept so repeated searches do not allocate

    // Start of the quarter map that a feature at offset (dx, dy) from an even scan position reads,
    // aligned with scan position (0, 0).
    const std::uint8_t *scanStart(int bin, int dx, int dy) const
    {
        return maps[bin * 4 + (dy & 1) * 2 + (dx & 1)].data() + ((dy >> 1) + pad) * stride + (dx >> 1) + pad;
    }
    // Response at a pixel of the level; up to 2 * pad pixels outside the image reads zero.
    int at(int bin, int x, int y) const
    {
        return maps[bin * 4 + (y & 1) * 2 + (x & 1)][size_t(((y >> 1) + pad) * stride + (x >> 1) + pad)];
    }
};

void computeResponses(const cv::Mat &image, float threshold, bool ignorePolarity, int pad, ResponseMaps &out);

// Orientation bin of a unit direction.
int orientationBin(double nx, double ny);

// A rigid pose of the model in the search image: centre position (pixels) and turn (radians,
// counter-clockwise on screen).
struct Pose {
    double x = 0.0;
    double y = 0.0;
    double angle = 0.0;
    int fitted = 0;  // fitPose: points that carried weight in its last solution
};

// Sub-pixel edge position along a line: the strongest rise of gray (over two pixels) along `normal`
// within +-reach pixels of `at`, averaged over seven parallel lines one pixel apart and located by
// the centre of mass of the rise.
struct EdgeHit {
    bool found = false;
    float offset = 0.0f;    // along the normal, pixels
    float strength = 0.0f;  // gray-level rise over two pixels
    // A pixel the rise was measured from is at the end of the gray scale (SaturatedLow or
    // SaturatedHigh): the rise is cut off there, and its centre lies nearer to the unclipped side
    // than the true edge (by up to a pixel on an over-exposed, blurred edge).
    bool clipped = false;
};

// Gray values at which a camera pixel counts as saturated.
constexpr int SaturatedLow = 0;
constexpr int SaturatedHigh = 255;

EdgeHit measureEdge(const cv::Mat &image, cv::Point2f at, cv::Point2f normal, float reach, bool ignorePolarity);

// Least-squares fit of the pose to the edges of `image`: every point looks for its edge along its
// normal and the pose that brings all points onto their edges (robustly weighted, so occluded and
// cluttered points drop out) is solved for, a few times over. Points whose edge is clipped at the end
// of the gray scale are left out. Without `fitAngle` the angle stays.
Pose fitPose(const cv::Mat &image, const std::vector<EdgePoint> &points, const Pose &start, bool ignorePolarity,
             bool fitAngle, int iterations);

}  // namespace ShapeModel
