#include "LightAugment.h"

#include "PhotoRelight.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace {
// Ranges of the random changes. The strongest light matches the light axis of visagio-eval
// (--relight 0.667: a third of the light left on the far side); the gamma range covers webcams'
// automatic exposure; shift and scale are about the detector's jitter on a 35-pixel sample.
constexpr double kMinStrength = 0.2;
constexpr double kMaxStrength = 0.7;
constexpr double kMaxLogGamma = 0.47; // gamma from 0.62 to 1.6
constexpr double kBlurShare = 0.5;
constexpr double kMinBlurSigma = 0.3;
constexpr double kMaxBlurSigma = 1.0;
constexpr double kMaxShift = 1.5;
constexpr double kMaxScale = 0.05;

cv::Mat withGamma(const cv::Mat& sample, double gamma)
{
    cv::Mat table(1, 256, CV_8U);
    for (int v = 0; v < 256; ++v)
        table.at<uchar>(0, v) = cv::saturate_cast<uchar>(255.0 * std::pow(v / 255.0, gamma));
    cv::Mat result;
    cv::LUT(sample, table, result);
    return result;
}

cv::Mat moved(const cv::Mat& sample, double dx, double dy, double scale)
{
    const cv::Point2f centre(sample.cols * 0.5f, sample.rows * 0.5f);
    cv::Mat transform = cv::getRotationMatrix2D(centre, 0.0, scale);
    transform.at<double>(0, 2) += dx;
    transform.at<double>(1, 2) += dy;
    cv::Mat result;
    cv::warpAffine(sample, result, transform, sample.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return result;
}
} // namespace

cv::Mat LightAugment::sideLit(const cv::Mat& sample, double strength, bool fromLeft)
{
    const cv::Rect2f wholeSample(0.0f, 0.0f, float(sample.cols), float(sample.rows));
    return PhotoRelight::relit(sample, wholeSample, strength, fromLeft);
}

cv::Mat LightAugment::randomised(const cv::Mat& sample, std::mt19937& random)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_real_distribution<double> signedUnit(-1.0, 1.0);
    const double strength = kMinStrength + unit(random) * (kMaxStrength - kMinStrength);
    const bool fromLeft = unit(random) < 0.5;
    cv::Mat result = sideLit(sample, strength, fromLeft);
    result = withGamma(result, std::exp(signedUnit(random) * kMaxLogGamma));
    if (unit(random) < kBlurShare)
        cv::GaussianBlur(result, result, cv::Size(0, 0), kMinBlurSigma + unit(random) * (kMaxBlurSigma - kMinBlurSigma));
    const double dx = signedUnit(random) * kMaxShift;
    const double dy = signedUnit(random) * kMaxShift;
    return moved(result, dx, dy, 1.0 + signedUnit(random) * kMaxScale);
}
