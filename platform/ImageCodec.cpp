#include "platform/ImageCodec.h"

#include "platform/ImageCodecModule.h"
#include "platform/LoadableModule.h"

cv::Mat DecodeImage(const std::vector<uchar>& bytes, int flags) {
    cv::Mat image;
    if (auto* decode = ModuleFunction<DecodeImageFunction>(kImageCodecModule, kDecodeImageSymbol)) {
        decode(&bytes, flags, &image);
    }
    return image;
}

bool EncodeImage(const std::string& extension, const cv::Mat& image, std::vector<uchar>& bytes,
                 const std::vector<int>& params) {
    auto* encode = ModuleFunction<EncodeImageFunction>(kImageCodecModule, kEncodeImageSymbol);
    return encode != nullptr && encode(extension.c_str(), &image, &bytes, &params);
}
