// Image warps of the position correction: move (and turn) a captured image back onto the reference pose.
#pragma once

#include <opencv2/core.hpp>

// Both warps take the shift the way FindShape::Find reports it (its x minus the search window's
// corner): the shift that carries the found pattern back to its reference position. Pass
// cv::Point2d or doubles to keep sub-pixel shifts; integer shifts are plain copies.
//
// `dst` gets the size and type of `src`; an existing buffer of that size and type is written in
// place (no allocation), and dst may be src. Pixels that come from outside the source repeat the
// nearest border pixel, so no black band appears that the inspection would take for a defect.

// dst(p) = src(p - shift): the image content moves by `shift`.
void MoveImage(const cv::Mat &src, cv::Mat &dst, double dx, double dy);

// Turns the image back by `angle` degrees (as reported by Find: the pattern was turned
// counter-clockwise on screen by that much) about the reference centre `centre` and moves it by
// `shift`, so the pattern found at centre - shift comes back to `centre` in its reference pose:
// dst(centre + v) = src(centre - shift + R(angle) v), bilinear.
void TransformImage(const cv::Mat &src, cv::Mat &dst, cv::Point2d centre, cv::Point2d shift, double angle);
