#include "vision/lib/checkrange.h"

#include <algorithm>
#include <atomic>

namespace {
std::atomic<int> imageWidth{1280};
std::atomic<int> imageHeight{1024};
}

void SetImageSize(int width, int height)
{
    if (width < 1 || height < 1)
        return;
    imageWidth = width;
    imageHeight = height;
}

cv::Size ImageSize()
{
    return cv::Size(imageWidth, imageHeight);
}

void CheckInRange(int* v, int axis)
{
    if (!v)
        return;
    const int limit = axis == 1 ? imageWidth.load() : imageHeight.load();
    *v = std::clamp(*v, 0, limit - 1);
}

bool CheckInRange(QRect* rect, bool normalize)
{
    if (!rect)
        return false;
    // Corners are inclusive pixels; QRect::normalized() would move swapped ones by a pixel.
    if (normalize)
        rect->setCoords(std::min(rect->left(), rect->right()), std::min(rect->top(), rect->bottom()),
                        std::max(rect->left(), rect->right()), std::max(rect->top(), rect->bottom()));
    const QRect image(0, 0, imageWidth, imageHeight);
    const bool inside = rect->intersects(image);
    int left = rect->left(), top = rect->top(), right = rect->right(), bottom = rect->bottom();
    CheckInRange(&left, 1);
    CheckInRange(&right, 1);
    CheckInRange(&top, 0);
    CheckInRange(&bottom, 0);
    rect->setCoords(left, top, right, bottom);
    return inside;
}
