#include "PhotoRelight.h"

#include <algorithm>
#include <stdexcept>

cv::Mat PhotoRelight::relit(const cv::Mat& photo, const cv::Rect2f& faceBox, double strength, bool fromLeft)
{
    if (!(strength >= 0.0 && strength < 1.0))
        throw std::invalid_argument("relight strength must be in [0, 1)");
    if (!(faceBox.width > 0.0f))
        throw std::invalid_argument("relight needs a face box of positive width");
    cv::Mat gain(1, photo.cols, CV_32F);
    for (int x = 0; x < photo.cols; ++x) {
        const double across = std::clamp((x + 0.5 - faceBox.x) / faceBox.width, 0.0, 1.0);
        gain.at<float>(0, x) = static_cast<float>(1.0 - strength * (fromLeft ? across : 1.0 - across));
    }
    cv::Mat gains = cv::repeat(gain, photo.rows, 1);
    if (photo.channels() > 1)
        cv::merge(std::vector<cv::Mat>(static_cast<std::size_t>(photo.channels()), gains), gains);
    cv::Mat result;
    photo.convertTo(result, CV_MAKETYPE(CV_32F, photo.channels()));
    result = result.mul(gains);
    result.convertTo(result, photo.type());
    return result;
}
