#include "vision/lib/imageconv.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

void RGBA2Gray(const uint8_t* source, uint8_t* destination, int width, int height)
{
    if (!source || !destination || width < 1 || height < 1)
        return;
    const cv::Mat rgba(height, width, CV_8UC4, const_cast<uint8_t*>(source));
    cv::Mat gray(height, width, CV_8UC1, destination);
    cv::cvtColor(rgba, gray, cv::COLOR_RGBA2GRAY);
}

void RGBA2Hue(const uint8_t* source, uint8_t* destination, int width, int height)
{
    if (!source || !destination || width < 1 || height < 1)
        return;
    const size_t count = size_t(width) * size_t(height);
    for (size_t i = 0; i < count; ++i) {
        const int r = source[4 * i];
        const int g = source[4 * i + 1];
        const int b = source[4 * i + 2];
        const int high = std::max(r, std::max(g, b));
        const int low = std::min(r, std::min(g, b));
        const int range = high - low;
        if (range == 0) {
            destination[i] = 0;
            continue;
        }
        // Six sectors of 256/6 hue steps each, measured from the strongest primary.
        int hue;
        if (high == r)
            hue = (g - b) * 256 / (6 * range);
        else if (high == g)
            hue = 256 / 3 + (b - r) * 256 / (6 * range);
        else
            hue = 2 * 256 / 3 + (r - g) * 256 / (6 * range);
        destination[i] = uint8_t(hue & 0xFF);
    }
}

void Gray2RGBA(const uint8_t* source, uint8_t* destination, int width, int height)
{
    if (!source || !destination || width < 1 || height < 1)
        return;
    const size_t count = size_t(width) * size_t(height);
    for (size_t i = 0; i < count; ++i) {
        destination[4 * i] = destination[4 * i + 1] = destination[4 * i + 2] = source[i];
        destination[4 * i + 3] = 255;
    }
}
