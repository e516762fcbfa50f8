// GrayMatch: the gray-value variation model of a defect region (reference band per pixel from good templates).
#pragma once

#include <opencv2/core.hpp>

#include <vector>

// A defect region learns, pixel by pixel, the gray values of the good part from its aligned
// templates and later marks every pixel of a new image that leaves the learnt band.
//
// What the setter's numbers mean (S = sensitivity 0..255, M = difference multiplier 0..4):
// - Reference: the mean of the templates at each pixel.
// - The band around the reference is S gray levels wide in total. With the station's call
//   Train(S, M, 100, 150) the last two arguments split it 100 : 150, so 40 % of S lies below the
//   reference and 60 % above: S = 45 accepts 18 levels darker and 27 levels brighter. Bright
//   deviations get the wider side because glints on polished steel vary more than shadows.
//   With one template this is the whole rule: S is an absolute gray tolerance.
// - With two or more templates each pixel also has the spread of the good parts, sigma (the
//   standard deviation of the templates there). Where M x sigma is larger than the side of the
//   band, that side widens to M x sigma. So more templates widen the band only where good parts
//   really differ (edges that move, changing gloss); M = 0 ignores the spread, M = 3 accepts a
//   pixel within three standard deviations of what the good parts showed.
// - A flaw is found where its contrast to the reference exceeds the band side: with S = 45 a
//   spot 20 levels darker or 30 levels brighter than the good part shows, on a uniform surface.
// Pixels outside the mask are never marked.
//
// Lighting compensation (off unless SetLightingCompensation(true)). Without it the band is
// absolute: a lamp that ages or a shutter that drifts by 10 % (or 25 gray levels) moves a whole
// region out of a band of S = 45, and only S of 150 and more stays quiet, which then lets a missing
// corner of the part pass. With it, Match first fits the region's lighting, patch = gain x
// reference + offset, and tests each pixel against the band carried through that same gain and
// offset (the band's width scales with the gain; limits beyond 0..255 accept a saturated pixel).
// The fit is robust: it starts from the median difference, then solves least squares on the
// pixels whose residual lies within three robust standard deviations (at least 6 levels), three
// times; a flaw, a foreign object or a missing area covering up to about a third of the region
// lies outside that trimmed set and does not move the fit. It uses up to 2048 pixels spread over
// the mask, leaving out pixels within 8 levels of 0 or 255 in the reference or the patch (a
// changed exposure clips them). A region of nearly uniform reference (standard deviation below
// 8 levels) is not compensated: there a change of light looks like a uniform part lying over the
// whole region, and that must stay NG. Nor is a fit that ends outside a gain of 0.7..1.4 or an
// offset of -60..+60, or that explains less than half of the pixels: that is no lamp but an
// object over most of the region, judged by the absolute band.
class GrayMatch
{
public:
    // Starts a model for a region of width x height; mask is 8-bit of that size, non-zero
    // = inspect (an empty Mat inspects the whole rectangle). reserved must be 0.
    bool Create(int width, int height, const cv::Mat& mask, int reserved = 0);
    // Adds one aligned good cut of the region size (8-bit, one channel).
    bool AddTemp(const cv::Mat& patch);
    // Builds the lower and upper limit images; darkShare and brightShare split the band as
    // described above (the station passes 100 and 150). False without templates.
    bool Train(int sensitivity, double multiplier, int darkShare = 100, int brightShare = 150);
    // Writes out: 8-bit image of the region size, 255 where the patch leaves the band, else 0.
    // False (and out all 0) when the model is not trained or the patch has the wrong size.
    bool Match(const cv::Mat& patch, cv::Mat& out) const;
    void Clear();
    // Drops what only training needs (the template sums and the mask, 17 bytes a pixel), keeping
    // the trained limits: the model matches as before, but AddTemp and Train refuse from now on
    // and leave it as it is. Nothing to do on a model that is not trained.
    void Compact();
    bool IsValid() const { return m_trained; }

    // Fits the region's lighting before each band test (see above). Kept over Create and Clear.
    void SetLightingCompensation(bool on) { m_compensate = on; }
    bool LightingCompensation() const { return m_compensate; }
    // The lighting of a patch against the trained reference: patch ~ gain x reference + offset;
    // gain 1 and offset 0 where the region is not compensated (see above).
    struct Lighting {
        double gain = 1.0;
        double offset = 0.0;
    };
    // Also gain 1 and offset 0 when the model is not trained or the patch has the wrong size.
    Lighting FitLighting(const cv::Mat& patch) const;

    int templateCount() const { return m_count; }
    cv::Size size() const { return m_size; }
    // The trained limits: a pixel p is good when lower <= p <= upper.
    const cv::Mat& lowerLimit() const { return m_lower; }
    const cv::Mat& upperLimit() const { return m_upper; }

private:
    cv::Size m_size;
    cv::Mat m_mask;     // 8-bit, non-zero = inspect
    cv::Mat m_outside;  // 8-bit, 255 where the mask is 0
    cv::Mat m_sum;      // 64-bit float sums of the templates
    cv::Mat m_sumSq;    // and of their squares
    int m_count = 0;
    cv::Mat m_lower;    // 8-bit limits, 0 / 255 outside the mask
    cv::Mat m_upper;
    bool m_trained = false;
    bool m_compensate = false;
    cv::Mat m_reference;          // 8-bit mean of the templates, for the lighting fit
    std::vector<int> m_samples;   // pixel indices the lighting fit uses
};
