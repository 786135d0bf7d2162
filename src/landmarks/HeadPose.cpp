#include "HeadPose.h"

#include "FaceRegions.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int kJawLeft = 0;
constexpr int kJawRight = 16;
constexpr int kNoseTip = 30;

// Pitch model: the nose tip stands kNoseDepth eye-to-mouth heights in front of the face's
// plane (an adult average) and, facing the camera, kFrontalNoseHeight of that height below the
// eyes (the median of the calibration faces, tools/chip-fit). Turned down by p, the tip's share
// of the height grows by kNoseDepth * tan(p).
constexpr double kNoseDepth = 0.5;
constexpr double kFrontalNoseHeight = 0.532;
// Below this many pixels a jaw width or an eye-to-mouth height says nothing.
constexpr double kMinSpan = 1.0;

double degrees(double radians)
{
    return radians * 180.0 / CV_PI;
}
} // namespace

std::optional<HeadPose> headPose(const FaceLandmarks::Points& points)
{
    const auto [leftEyeF, rightEyeF] = eyeCentres(points);
    const cv::Point2d leftEye(leftEyeF), rightEye(rightEyeF);
    const cv::Point2d eyeLine = rightEye - leftEye;
    const double eyeDistance = std::hypot(eyeLine.x, eyeLine.y);
    if (!(eyeDistance >= kMinSpan))
        return std::nullopt;
    // Coordinates along the eye line (u) and across it, downwards (v).
    const cv::Point2d along = eyeLine / eyeDistance;
    const cv::Point2d down(-along.y, along.x);
    const auto u = [&](const cv::Point2f& p) { return cv::Point2d(p).dot(along); };
    const auto v = [&](const cv::Point2f& p) { return cv::Point2d(p).dot(down); };

    // Yaw: a cylinder whose outline is the jaw line's ends and whose front the nose tip.
    const double halfWidth = 0.5 * (u(points[kJawRight]) - u(points[kJawLeft]));
    const double middle = 0.5 * (u(points[kJawRight]) + u(points[kJawLeft]));
    // Pitch: where the nose tip lies between the eyes and the mouth.
    const double eyesV = 0.5 * (leftEye.dot(down) + rightEye.dot(down));
    const double mouthV = v(mouthCentre(points));
    const double height = mouthV - eyesV;
    if (!(halfWidth >= 0.5 * kMinSpan) || !(height >= kMinSpan))
        return std::nullopt;
    const double sideways = std::clamp((u(points[kNoseTip]) - middle) / halfWidth, -1.0, 1.0);
    const double noseShare = (v(points[kNoseTip]) - eyesV) / height;
    HeadPose pose;
    pose.yaw = float(degrees(std::asin(sideways)));
    pose.pitch = float(degrees(std::atan((noseShare - kFrontalNoseHeight) / kNoseDepth)));
    if (!std::isfinite(pose.yaw) || !std::isfinite(pose.pitch))
        return std::nullopt;
    return pose;
}
