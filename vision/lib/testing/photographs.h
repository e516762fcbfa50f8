// Real photographs for the vision tests and benchmarks: the sample images of Debian's opencv-doc.
#pragma once

#include <opencv2/core.hpp>

#include <string>

namespace Photographs {

// The folder the build found the photographs in; empty when it found none.
std::string folder();

// What to tell a developer whose machine lacks them.
std::string missingHint();

// The photograph `name` (for example "baboon.jpg") as 8-bit gray; empty when it cannot be read.
cv::Mat gray(const std::string &name);

}  // namespace Photographs
