#include "FaceChip.h"

#include "ChipGeometry.h"
#include "FaceRegions.h"
#include "FaceResnet.h"
#include "RunFolder.h"

#include <QDebug>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <tuple>
#include <vector>

namespace {
const char* const kBadInput = "chip needs a BGR frame and a face box";

// Box transform: the eyes' midpoint and distance as fractions of the face box (pixel centres
// from its top-left corner). Medians of the 1560 eye pairs chip-fit found in the window's face
// boxes of 2000 calibration faces (Essex faces94 female, lfw_min10 people A-J).
constexpr float kEyeMidX = 0.488f;
constexpr float kEyeMidY = 0.393f;
constexpr float kEyeDistance = 0.355f;

// Eye search, measured on the same faces: the rows of the box searched and the width it is
// scaled to first (found eyes are 15 to 25 % of the box, ~50 px to the cascade even in a 90 px
// face). With the eyeglasses cascade 200 px found 70 % of the pairs, 240 px 74 % and 300 px
// 79 % at 1.2 times the time; haarcascade_eye finds 78 % at 240 px. Pyramid step and neighbours are OpenCV's defaults; equalising the band
// found fewer pairs.
constexpr float kBandTop = 0.15f;
constexpr float kBandBottom = 0.60f;
constexpr double kSearchWidth = 240.0;
constexpr double kEyeScaleStep = 1.1;
constexpr int kEyeNeighbours = 3;
constexpr float kMinEyeSide = 0.10f;
constexpr float kMaxEyeSide = 0.30f;

// A plausible pair (fractions of the box width): eyes 0.27 to 0.45 apart (the fitted distance
// +-4 median deviations), tilted by at most 15 degrees (chosen, not fitted: the funnelled LFW
// faces show no roll), each eye within 0.08 of where the box transform expects it (99 % of the
// pairs found are within 0.05).
constexpr float kMinPairDistance = 0.27f;
constexpr float kMaxPairDistance = 0.45f;
constexpr float kMaxTiltTangent = 0.268f;
constexpr float kMaxEyeShift = 0.08f;

void loadCascade(cv::CascadeClassifier& cascade, const std::string& path)
{
    try {
        if (!path.empty() && !cascade.load(path))
            qDebug() << "eye cascade not loaded:" << QString::fromStdString(path);
    } catch (const cv::Exception& error) {
        qDebug() << "eye cascade not loaded:" << QString::fromStdString(path) << error.what();
        cascade = cv::CascadeClassifier();
    }
}

// Where the box transform expects the eyes, in frame pixels.
std::pair<cv::Point2f, cv::Point2f> boxEyes(const cv::Rect& face)
{
    const float midX = face.x + kEyeMidX * face.width;
    const float y = face.y + kEyeMidY * face.height;
    const float half = 0.5f * kEyeDistance * face.width;
    return {cv::Point2f(midX - half, y), cv::Point2f(midX + half, y)};
}

// The centres of the eye cascade's finds in the upper band of the face box, in frame pixels.
std::vector<cv::Point2f> eyeCandidates(cv::CascadeClassifier& cascade, const cv::Mat& frame, const cv::Rect& face)
{
    const int top = face.y + cvRound(kBandTop * face.height);
    const cv::Rect band = cv::Rect(face.x, top, face.width, face.y + cvRound(kBandBottom * face.height) - top) &
                          cv::Rect(0, 0, frame.cols, frame.rows);
    if (band.empty())
        return {};
    cv::Mat grey;
    cv::cvtColor(frame(band), grey, cv::COLOR_BGR2GRAY);
    const double scale = kSearchWidth / face.width;
    cv::resize(grey, grey, cv::Size(), scale, scale, cv::INTER_LINEAR);
    const int minSide = cvRound(kMinEyeSide * kSearchWidth);
    const int maxSide = cvRound(kMaxEyeSide * kSearchWidth);
    std::vector<cv::Rect> found;
    cascade.detectMultiScale(grey, found, kEyeScaleStep, kEyeNeighbours, 0, cv::Size(minSide, minSide),
                             cv::Size(maxSide, maxSide));
    std::vector<cv::Point2f> centres;
    for (const cv::Rect& eye : found)
        centres.emplace_back(band.x + (eye.x + 0.5f * eye.width) / scale - 0.5f,
                             band.y + (eye.y + 0.5f * eye.height) / scale - 0.5f);
    return centres;
}

bool plausiblePair(const cv::Point2f& left, const cv::Point2f& right, const cv::Rect& face,
                   const std::pair<cv::Point2f, cv::Point2f>& expected)
{
    const cv::Point2f gap = (right - left) / float(face.width);
    const float distance = std::hypot(gap.x, gap.y);
    const float maxShift = kMaxEyeShift * face.width;
    return gap.x > 0 && distance >= kMinPairDistance && distance <= kMaxPairDistance &&
           std::abs(gap.y) <= kMaxTiltTangent * gap.x && cv::norm(left - expected.first) <= maxShift &&
           cv::norm(right - expected.second) <= maxShift;
}

// The similarity transform that maps the eye centres onto the chip's.
cv::Matx23d eyeTransform(const cv::Point2f& left, const cv::Point2f& right)
{
    return similarityTransform({left, right}, {kChipLeftEye, kChipRightEye});
}

// Landmarks a chip can be cut by: every point within the square the network saw, grown by
// kLandmarkMargin of its side (the chin reaches a little below a Haar box: on the calibration
// faces the points lie from -0.01 to 1.02 of the square), and the eyes in the image's order,
// apart by a plausible share of the box (0.30-0.41 of its width on 99 % of the calibration
// faces).
constexpr float kLandmarkMargin = 0.1f;
constexpr float kMinLandmarkEyeDistance = 0.25f;
constexpr float kMaxLandmarkEyeDistance = 0.50f;

bool plausibleLandmarks(const FaceLandmarks::Points& points, const cv::Rect& face)
{
    const float side = float(std::max(face.width, face.height));
    const float margin = kLandmarkMargin * side;
    const cv::Rect2f square(face.x - 0.5f * (side - face.width) - margin, face.y - 0.5f * (side - face.height) - margin,
                            side + 2 * margin, side + 2 * margin);
    for (const cv::Point2f& point : points)
        if (!std::isfinite(point.x) || !std::isfinite(point.y) || !square.contains(point))
            return false;
    const auto [left, right] = eyeCentres(points);
    const float distance = float(cv::norm(right - left)) / face.width;
    return right.x > left.x && distance >= kMinLandmarkEyeDistance && distance <= kMaxLandmarkEyeDistance;
}
} // namespace

// haarcascade_eye.xml rather than the detector's eyeglasses cascade: on the calibration faces
// it found as many pairs (78 %) at the same EER in a third of the time (16 against 48 ms a
// cut), which keeps the verification tick within a camera frame. Faces whose eyes it misses
// behind glasses are cut by the box transform.
FaceChip::FaceChip()
    : FaceChip(QString(kLandmarksFolder))
{
}

FaceChip::FaceChip(const QString& landmarksFolder)
    : landmarks(std::make_unique<FaceLandmarks>(landmarksFolder))
{
}

FaceChip::FaceChip(const std::string& eyeCascadePath)
{
    loadCascade(eyeCascade, eyeCascadePath);
}

cv::Mat FaceChip::cut(const cv::Mat& frame, const cv::Rect& face)
{
    if (frame.type() != CV_8UC3 || frame.empty() || face.width <= 0 || face.height <= 0)
        throw std::logic_error(kBadInput);
    points.reset();
    cv::Matx23d transform;
    if (landmarks) {
        transform = landmarkTransform(frame, face);
    } else {
        lastAlignment = findEyes(frame, face) ? Alignment::Eyes : Alignment::Box;
        if (lastAlignment == Alignment::Box)
            std::tie(leftEye, rightEye) = boxEyes(face);
        transform = eyeTransform(leftEye, rightEye);
    }
    cv::Mat chip;
    cv::warpAffine(frame, chip, transform, cv::Size(FaceResnet::kChipSize, FaceResnet::kChipSize), cv::INTER_LINEAR,
                   cv::BORDER_CONSTANT, cv::Scalar::all(0));
    return chip;
}

FaceChip::Alignment FaceChip::alignment() const
{
    return lastAlignment;
}

bool FaceChip::aligned() const
{
    return lastAlignment != Alignment::Box;
}

const std::optional<FaceLandmarks::Points>& FaceChip::lastLandmarks() const
{
    return points;
}

std::pair<cv::Point2f, cv::Point2f> FaceChip::lastEyes() const
{
    return {leftEye, rightEye};
}

// The eyes and the mouth onto the chip's, or the box transform for implausible landmarks.
cv::Matx23d FaceChip::landmarkTransform(const cv::Mat& frame, const cv::Rect& face)
{
    const FaceLandmarks::Points found = landmarks->locate(frame, face);
    if (!plausibleLandmarks(found, face)) {
        lastAlignment = Alignment::Box;
        std::tie(leftEye, rightEye) = boxEyes(face);
        return eyeTransform(leftEye, rightEye);
    }
    lastAlignment = Alignment::Landmarks;
    points = found;
    std::tie(leftEye, rightEye) = eyeCentres(found);
    return similarityTransform({leftEye, rightEye, mouthCentre(found)}, {kChipLeftEye, kChipRightEye, kChipMouth});
}

// The plausible pair closest to where the box transform expects the eyes.
bool FaceChip::findEyes(const cv::Mat& frame, const cv::Rect& face)
{
    if (eyeCascade.empty())
        return false;
    const auto expected = boxEyes(face);
    const std::vector<cv::Point2f> eyes = eyeCandidates(eyeCascade, frame, face);
    double bestShift = std::numeric_limits<double>::infinity();
    for (const cv::Point2f& left : eyes) {
        for (const cv::Point2f& right : eyes) {
            const double shift = cv::norm(left - expected.first) + cv::norm(right - expected.second);
            if (shift < bestShift && plausiblePair(left, right, face, expected)) {
                bestShift = shift;
                leftEye = left;
                rightEye = right;
            }
        }
    }
    return bestShift < std::numeric_limits<double>::infinity();
}
