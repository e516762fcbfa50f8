// Edge-based shape model: finds a taught pattern in a search window, with sub-pixel position and angle.
#pragma once

#include <opencv2/core.hpp>

#include <memory>

// The model is built from the edges of a patch cut out of the reference image; the search finds the
// pose (shift and turn) of the same edges in a new image. It tolerates a global change of
// illumination (gain and offset: only gradient directions and relative strengths count), sensor
// noise, clutter and parts of the pattern being hidden.
//
// How it searches: an image pyramid of 2 x 2 averages (the coarsest level keeps the pattern at least
// 32 pixels on its shorter side). On the coarsest level the gradient orientations of the window are
// quantised into 16 directions (dark-to-bright kept), spread over a 3 x 3 neighbourhood and turned
// into one response map per direction; up to 63 feature points of the model, turned through every
// angle step of the range, are summed over these maps at every second position (the rotation turns
// the few points, never the image). The strongest distinct peaks are re-ranked with all coarse edge
// points; the best are followed down the pyramid by a local search in position and angle that
// maximises the normalised gradient agreement, and the winner is refined on the full-resolution
// window by a robust least-squares fit of a few hundred edge points to their sub-pixel edges
// (typically better than 0.1 px and 0.05 deg on a clean image). Edges that are clipped at 0 or 255
// in the window but were not in the model (over- or under-exposure) are left out of that fit: their
// cut-off rise would pull the pose by up to a pixel. When fewer than 24 fit points remain, the find
// is not reported at all rather than reported with the pyramid's pixel of doubt; on photographs
// with a gain up to 1.6 every reported find stays within 0.5 px. Coordinates follow OpenCV: pixel
// centres on integers, y pointing down.
//
// A FindShape is a plain value. Find reuses search buffers held per thread (sized by the largest
// window searched on that thread), so models searched from several threads do not share them.
class FindShape {
public:
    // Bits of the last CreateShape argument.
    enum Flags {
        NoSubPixel = 1,  // stop after the pyramid search: about 1 px and 0.5 deg, a little faster
    };

    FindShape();
    ~FindShape();
    FindShape(const FindShape &other);
    FindShape &operator=(const FindShape &other);
    FindShape(FindShape &&other) noexcept;
    FindShape &operator=(FindShape &&other) noexcept;

    // Builds the model from `patch` (8-bit gray); returns IsValid().
    //  minScore       least score (0..1) for Find to report a match; 0 takes the default 0.5.
    //  numLevels      pyramid levels including full resolution; 0 chooses them from the pattern:
    //                 as many as keep its shorter side at 32 pixels or more and at least 24 edge
    //                 pixels on the coarsest level (at most 6; a 400 x 300 pattern gets 4).
    //  angleRange     rotation searched in degrees, -angleRange..+angleRange; 0 = shift only;
    //                 values above 180 count as 180 (the full turn).
    //  centreX/Y      where the patch's centre (cols / 2, rows / 2, integer halves) lies in the image
    //                 the patch was cut from; Find reports positions relative to it (see Find).
    //  ignorePolarity false: an edge must keep its direction from dark to bright (normal for a fixed
    //                 scene); true: a contrast reversal still matches.
    //  edgeContrast   least contrast of a model edge in gray levels (a sharp step of that height just
    //                 passes); 0 or 255 and above choose it from the patch: clearly above its
    //                 texture and noise, and at least 4.
    //  mask           8-bit, patch size, non-zero = part of the pattern; empty = the whole patch.
    //  speed          1..100 (clamped). 1 is the most thorough, 100 the quickest: higher values take
    //                 fewer points on every level (coarsest 63 down to 33, middle levels 96 down to
    //                 48, the final fit 400 down to 120), follow fewer coarse candidates (10 down to
    //                 3) and scan the coarsest level in angle steps up to 1.5 times larger. From 1 to
    //                 100 the search time falls by more than half (full turn, 400 x 300 pattern in
    //                 1280 x 1024: about 2.8 to 1.2 ms); a clean image stays below 0.03 px, but under
    //                 noise, dim light and occlusion the error about doubles (fewer fitted points)
    //                 and a heavily hidden or cluttered pattern is more likely to be missed. 5 is a
    //                 good default.
    //  flags          0 or NoSubPixel.
    bool CreateShape(const cv::Mat &patch, double minScore, int numLevels, int angleRange, int centreX,
                     int centreY, bool ignorePolarity, int edgeContrast, const cv::Mat &mask, int speed,
                     int flags);

    // Searches `window` (8-bit gray, any size) for the pattern; true when found with at least the
    // least score (minScore > 0 overrides the model's for this call). On success:
    //  *x, *y   the model's reference centre (centreX, centreY of CreateShape) minus the found centre
    //           in window coordinates, in pixels. Subtracting the window's top-left corner (its
    //           position in the full image) therefore gives the shift that moves the current image
    //           back onto the reference: dx = *x - windowX = centreX - (found centre in the image).
    //           MoveImage and TransformImage take exactly that shift.
    //  *score   0..1: how well the image gradients at the model's edge points agree in direction
    //           with the model at the fitted pose (the mean cosine, counting weak gradients as 0),
    //           measured on the half-resolution level. Near 1 for a clean view, 0.65..0.9 under
    //           heavy noise, dim or bright light and a fifth of the pattern hidden; the best place
    //           in an unrelated scene scores 0.25..0.4, below the default least score of 0.5.
    //  *angle   degrees the pattern is turned in the window against the model, counter-clockwise as
    //           seen on screen (the sense of cv::getRotationMatrix2D); within about +-angleRange,
    //           and in (-180, 180] for the full turn.
    // On failure the outputs are left unchanged. Null pointers are allowed for unwanted outputs.
    bool Find(const cv::Mat &window, double minScore, double *x, double *y, double *score, double *angle);

    struct Match {
        cv::Point2d centre;    // found model centre in window coordinates, pixels
        double angle = 0.0;    // degrees, as in Find
        double score = 0.0;    // 0..1, as in Find
    };
    // The same search, reporting the found centre itself.
    bool FindMatch(const cv::Mat &window, double minScore, Match *match);

    bool IsValid() const;
    // Empties the model; IsValid() is false afterwards.
    void Clear();

    // Model facts, for diagnostics and tests.
    int Levels() const;
    int AngleRange() const;
    cv::Point ReferenceCentre() const;

private:
    struct Model;
    struct Buffers;  // the search buffers, one set per thread
    std::shared_ptr<const Model> m_model;  // shared between copies; never changed once built
};
