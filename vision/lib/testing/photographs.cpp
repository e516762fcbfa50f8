#include "vision/lib/testing/photographs.h"

#include <opencv2/imgcodecs.hpp>

namespace Photographs {

std::string folder() { return MOULD_PHOTOGRAPH_DIR; }

std::string missingHint()
{
    return "the sample photographs of the package opencv-doc are missing (looked in '" + folder()
        + "'); scripts/install-deps.sh installs them, then reconfigure the build";
}

cv::Mat gray(const std::string &name)
{
    if (folder().empty())
        return {};
    return cv::imread(folder() + "/" + name, cv::IMREAD_GRAYSCALE);
}

}  // namespace Photographs
