#include "platform/ImageCodecModule.h"

#include <exception>
#include <opencv2/imgcodecs.hpp>
#include <type_traits>

extern "C" {

void VornDecodeImage(const std::vector<uchar>* bytes, int flags, cv::Mat* image) noexcept {
    try {
        *image = cv::imdecode(*bytes, flags);
    } catch (const std::exception&) {
        image->release();
    }
}

bool VornEncodeImage(const char* extension, const cv::Mat* image, std::vector<uchar>* bytes,
                     const std::vector<int>* params) noexcept {
    try {
        return !image->empty() && cv::imencode(extension, *image, *bytes, *params);
    } catch (const std::exception&) {
        return false;
    }
}
}

// The loader finds these by the names above; a change of type would fail to compile here.
static_assert(std::is_same_v<decltype(VornDecodeImage), DecodeImageFunction>);
static_assert(std::is_same_v<decltype(VornEncodeImage), EncodeImageFunction>);
