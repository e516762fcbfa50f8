// The camera image size known to the vision library, and clamping of coordinates into it.
#pragma once

#include <QRect>
#include <opencv2/core.hpp>

// The library does not see the station's globals; the camera set-up tells it the image size
// (gImageW x gImageH) once it is known. Until then it is 1280 x 1024.
void SetImageSize(int width, int height);
cv::Size ImageSize();

// Clamps *v into the image: axis 1 = x (0 .. width - 1), axis 0 = y (0 .. height - 1).
void CheckInRange(int* v, int axis);
// Clamps a rectangle into the image. With normalize true a rectangle given with its corners
// swapped is first put right way round; with false such a rectangle is only clamped.
// Returns false when nothing of the rectangle lies inside the image (it is then left clamped
// to the nearest image pixels).
bool CheckInRange(QRect* rect, bool normalize);
