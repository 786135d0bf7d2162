#include "TanTriggs.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <stdexcept>

namespace {
// Parameters of the chain as published by Tan and Triggs (IEEE TIP 19(6), 2010).
constexpr double kGamma = 0.2;
constexpr double kInnerSigma = 1.0;
constexpr double kOuterSigma = 2.0;
constexpr double kAlpha = 0.1;
constexpr double kTau = 10.0;

// Divides image by (mean of f(|image|)^alpha)^(1/alpha), f the identity or a cut at tau.
void equaliseContrast(cv::Mat& image, bool cutAtTau)
{
    cv::Mat magnitude = cv::abs(image);
    if (cutAtTau)
        magnitude = cv::min(magnitude, kTau);
    cv::Mat powered;
    cv::pow(magnitude, kAlpha, powered);
    const double scale = std::pow(cv::mean(powered)[0], 1.0 / kAlpha);
    if (scale > 0.0 && std::isfinite(scale))
        image /= scale;
}
} // namespace

cv::Mat TanTriggs::normalise(const cv::Mat& grey)
{
    if (grey.empty() || grey.type() != CV_8UC1)
        throw std::invalid_argument("Tan-Triggs needs a non-empty 8-bit grey image");
    cv::Mat image;
    grey.convertTo(image, CV_32F);
    cv::pow(image, kGamma, image);
    cv::Mat inner;
    cv::Mat outer;
    cv::GaussianBlur(image, inner, cv::Size(), kInnerSigma);
    cv::GaussianBlur(image, outer, cv::Size(), kOuterSigma);
    image = inner - outer;
    equaliseContrast(image, false);
    equaliseContrast(image, true);
    // tau * tanh(x / tau), elementwise (row pointers: the matcher runs this for every face).
    for (int y = 0; y < image.rows; ++y) {
        float* row = image.ptr<float>(y);
        for (int x = 0; x < image.cols; ++x)
            row[x] = static_cast<float>(kTau * std::tanh(row[x] / kTau));
    }
    return image;
}

cv::Mat TanTriggs::normaliseGrey(const cv::Mat& grey)
{
    cv::Mat result;
    normalise(grey).convertTo(result, CV_8U, 255.0 / (2.0 * kTau), 255.0 / 2.0);
    return result;
}

cv::Mat TanTriggs::normaliseFace(const cv::Mat& grey, const cv::Mat& mask)
{
    cv::Mat filled = grey.clone();
    filled.setTo(cv::mean(grey, mask), mask == 0);
    return normaliseGrey(filled);
}
