#include "FaceLight.h"

#include <opencv2/imgproc.hpp>

#include <stdexcept>

namespace {
constexpr int kClippedLuma = 250;
// Limits, chosen on the live frames of the training people (tools/liveness-train prints the
// share of live and photo frames each one stops).
constexpr float kDarkFaceMean = 35.0f;
constexpr float kOverexposedShare = 0.40f;
constexpr float kBacklitRatio = 3.0f;
} // namespace

FaceLight FaceLight::measure(const cv::Mat& frame, const cv::Rect& face)
{
    const cv::Rect inside = face & cv::Rect(0, 0, frame.cols, frame.rows);
    if (frame.type() != CV_8UC3 || inside.empty())
        throw std::logic_error("liveness needs a BGR frame and a face box in it");
    cv::Mat luma;
    cv::cvtColor(frame, luma, cv::COLOR_BGR2GRAY);
    const cv::Mat faceLuma = luma(inside);
    FaceLight light;
    const double faceSum = cv::sum(faceLuma)[0];
    light.faceMean = float(faceSum / inside.area());
    light.clippedShare = float(cv::countNonZero(faceLuma >= kClippedLuma)) / float(inside.area());
    const double surroundArea = double(frame.total()) - inside.area();
    light.surroundMean = surroundArea > 0 ? float((cv::sum(luma)[0] - faceSum) / surroundArea) : light.faceMean;
    return light;
}

FaceLight::Problem FaceLight::problem() const
{
    if (clippedShare > kOverexposedShare)
        return Problem::Overexposed;
    if (faceMean < kDarkFaceMean)
        return Problem::Dark;
    if (surroundMean > kBacklitRatio * faceMean)
        return Problem::Backlit;
    return Problem::None;
}
