// Edge-point search along a strip of the image, used by distance regions in training and in the run.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

// Settings and results of one search. The strip is a rotated rectangle; its profile is the mean of
// each column across the strip, and edges are the peaks of the profile's gradient.
struct _EdgePointDetParam
{
    int direction = 0;     // 0: walk from the strip's start, 1: from its end
    int polarity = 0;      // 0: any step, 1: falling steps only, other: rising steps only
    int relThreshold = 1;  // peak threshold in percent of the strongest gradient
    int smoothWindow = 5;  // moving average over this many columns
    int sensitivity = 0;   // gradients below this are ignored (roiPara2)
    double centerX = 0.0;  // the strip, in image pixels
    double centerY = 0.0;
    double angle = 0.0;    // degrees
    int width = 0;         // along the walk
    int height = 0;        // across it

    std::vector<cv::Point2f> points;  // found edges in walking order
    bool found = false;
};

// The strip of a region rectangle: centre x + w/2, y + h/2 (integer halves); direction 0 keeps
// the rectangle (angle 0, size w x h), direction 1 turns it (angle 90, size h x w).
void Rect2RotateRect(const cv::Rect &rect, int direction, _EdgePointDetParam &param);

// Runs the search over an 8-bit image (one or four channels). False with no points when the
// strip is empty.
bool clcEdgePoint(const cv::Mat &image, _EdgePointDetParam &param);

// Euclidean distance of two points.
float DistP2P(const cv::Point2f &a, const cv::Point2f &b);
