// CBlobResult and CBlob: the connected blobs of a binary NG image, with area and bounding box.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

// One 8-connected blob: its pixel count and the rectangle that holds it.
class CBlob
{
public:
    CBlob() = default;
    CBlob(int area, const cv::Rect& box) : m_area(area), m_box(box) {}

    double Area() const { return m_area; }
    // x, y of the top-left pixel; width and height in pixels (x + width is one past the right).
    cv::Rect GetBoundingBox() const { return m_box; }

private:
    int m_area = 0;
    cv::Rect m_box;
};

// Labels every 8-connected group of pixels that differ from the background value. Blobs come in
// the order of their first pixel, row by row from the top, left to right, as the NG rectangles
// are listed. The image is scanned as runs, so large empty stretches of an NG image cost little.
class CBlobResult
{
public:
    CBlobResult() = default;
    // image: 8-bit, one channel. mask: optional 8-bit image of the same size; where it is 0 a
    // pixel counts as background (nullptr or an empty Mat: no mask). background: gray value of
    // the background (the station passes 0).
    CBlobResult(const cv::Mat& image, const cv::Mat* mask, int background);

    int GetNumBlobs() const { return int(m_blobs.size()); }
    // Blob i, 0 <= i < GetNumBlobs(); an empty blob for any other index.
    const CBlob& GetBlob(int i) const;
    const std::vector<CBlob>& blobs() const { return m_blobs; }

private:
    std::vector<CBlob> m_blobs;
};
