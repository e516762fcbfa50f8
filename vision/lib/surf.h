// SURF: the similarity model of a region, a 0..100 score of a new cut against the good templates.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

// The name is the station's; the method is our own, built for the question "is the same good part
// there?", not a keypoint detector.
//
// Method:
// 1. Every cut is reduced by area averaging by a whole factor f chosen so that about 4096 pixels
//    remain (f = 1 for small regions) and lightly smoothed; sensor noise averages out and the
//    comparison looks at the part's form, not at single pixels.
// 2. Alignment: the edge directions of the cut are correlated with the edges of the mean
//    template over shifts of +-(ceil(4 / f) + 1) reduced pixels, the peak refined to sub-pixel
//    by a parabola, and the cut resampled there. Shifts of a few pixels left over by position
//    correction so cost nothing; directions rather than levels keep a large foreign object
//    from pulling the alignment.
// 3. Brightness: for each template a gain (0.5 .. 2) and an offset are fitted that bring the
//    cut's cell levels (step 4) onto the template's, robustly (medians first, then least squares
//    over the cells that agree), so a uniformly brighter or darker image compares equal while
//    a foreign object or a missing part does not bend the fit.
// 4. The reduced region is divided into cells of 8 x 8 reduced pixels. Each cell compares its
//    structure (correlation and contrast, as in the structural similarity index) and its mean
//    level (a difference of 12 gray levels halves that factor) with every template; the best
//    template counts, so several templates tolerate good parts that vary in different places.
// 5. A cell with similarity 0.8 or more agrees; 0.4 or less differs wholly; linear between.
//    score = 100 - 2 x (percentage of the masked area that differs), at least 0.
//    A template scores 100 against itself; a foreign object over a quarter of the region scores
//    50 or less; a missing part, whose place shows the empty mould, close to 0. A setter reads the
//    minimum score as "alarm when more than (100 - score) / 2 percent of the region changed".
class SURF
{
public:
    // Region of width x height; mask 8-bit of that size, non-zero = compare (empty Mat = all).
    // A mask with no pixel set compares nothing: the model trains and every cut scores 100.
    bool Create(int width, int height, const cv::Mat& mask);
    // Adds one good cut (8-bit, one channel, region size). The two middle arguments belong to
    // the station's calling convention (1 and 50) and do not change the result; minScore is
    // the region's minimum score and decides when Match marks the differing cells.
    bool AddTemp(const cv::Mat& patch, int levels = 1, int threshold = 50, int minScore = 0);
    // Prepares the templates for matching; the arguments are the station's zeros and unused.
    bool Train(int a = 0, int b = 0, int c = 0, int d = 0);
    // Similarity 0..100 of patch (region size). out: 8-bit image of the region size; when the
    // score is below the minimum score, the differing cells inside the mask are 255, else all 0.
    // Returns 0 when the model is not trained or the patch does not fit.
    float Match(const cv::Mat& patch, cv::Mat& out);
    void Clear();
    bool IsValid() const { return m_trained; }

    int templateCount() const { return int(m_templates.size()); }
    // The reduction factor f of step 1 (valid after Create).
    int reduction() const { return m_factor; }

private:
    struct Template
    {
        cv::Mat image;                 // reduced, smoothed, 32-bit float
        std::vector<double> cellSum, cellSumSq;
    };

    void reduce(const cv::Mat& patch, cv::Mat& reduced) const;
    cv::Point2d estimateShift(const cv::Mat& reduced);

    cv::Size m_size;
    int m_factor = 1;
    cv::Size m_reducedSize;
    cv::Mat m_fullMask;    // 8-bit, region size
    cv::Mat m_weight;      // reduced, 32-bit float, 1 = compared
    int m_searchRadius = 1;
    int m_minScore = 0;
    std::vector<Template> m_templates;
    bool m_trained = false;

    // Filled by Train.
    std::vector<cv::Rect> m_cells;  // in reduced pixels
    std::vector<double> m_cellWeight;
    double m_weightSum = 0.0;
    cv::Mat m_edgeX, m_edgeY; // gradients of the mean template on the inner area, masked

    // Scratch of Match, kept to avoid allocations per frame.
    cv::Mat m_reduced, m_dirX, m_dirY, m_aligned, m_product;
};
