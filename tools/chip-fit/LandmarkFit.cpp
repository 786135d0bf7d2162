#include "LandmarkFit.h"

#include "ChipGeometry.h"
#include "FaceChip.h"
#include "FaceRegions.h"
#include "ProgressBar.h"
#include "report/Quantiles.h"
#include "SequentialOpenCv.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace {

using eval::medianDeviation;
using eval::quantile;

// Where the points land when the eye centres are put on the chip's.
cv::Point2f onEyeChip(const FaceLandmarks::Points& points, const cv::Point2f& point)
{
    const auto [left, right] = eyeCentres(points);
    const cv::Matx23d toChip = similarityTransform({left, right}, {kChipLeftEye, kChipRightEye});
    return cv::Point2f(float(toChip(0, 0) * point.x + toChip(0, 1) * point.y + toChip(0, 2)),
                       float(toChip(1, 0) * point.x + toChip(1, 1) * point.y + toChip(1, 2)));
}

// The nose tip's height between the eyes and the mouth, on the eye-aligned chip.
float noseShareOf(const FaceLandmarks::Points& points)
{
    const float eyes = kChipLeftEye.y;
    const float nose = onEyeChip(points, points[30]).y;
    const float mouth = onEyeChip(points, mouthCentre(points)).y;
    return (nose - eyes) / (mouth - eyes);
}

} // namespace

LandmarkFit::LandmarkFit(const std::vector<BoxedFace>& faces, const QString& landmarksFolder)
{
    const eval::SequentialOpenCv sequential;
    FaceLandmarks network(landmarksFolder);
    FaceChip chips(landmarksFolder);
    std::clock_t cutting = 0;
    std::vector<float> mouthX, mouthY, eyeDistance, noseShare;
    ProgressBar progress("landmarks", long(faces.size()));
    for (const BoxedFace& face : faces) {
        const cv::Mat image = readPhoto(face.photo);
        const std::clock_t start = std::clock();
        chips.cut(image, face.box);
        cutting += std::clock() - start;
        ++result.faces;
        result.plausible += chips.alignment() == FaceChip::Alignment::Landmarks ? 1 : 0;
        // The chip's own landmarks where it was aligned by them; the few it refused are located
        // again, so that the fit sees every face.
        const FaceLandmarks::Points points =
            chips.lastLandmarks() ? *chips.lastLandmarks() : network.locate(image, face.box);
        const cv::Point2f mouth = onEyeChip(points, mouthCentre(points));
        mouthX.push_back(mouth.x);
        mouthY.push_back(mouth.y);
        const auto [left, right] = eyeCentres(points);
        eyeDistance.push_back(float(cv::norm(right - left)) / face.box.width);
        noseShare.push_back(noseShareOf(points));
        progress.update(long(result.faces));
    }
    progress.finish();
    result.mouthX = quantile(mouthX, 0.5);
    result.mouthY = quantile(mouthY, 0.5);
    result.spreadX = medianDeviation(mouthX);
    result.spreadY = medianDeviation(mouthY);
    result.eyeDistance = quantile(eyeDistance, 0.5);
    result.eyeDistanceLow = quantile(eyeDistance, 0.005);
    result.eyeDistanceHigh = quantile(eyeDistance, 0.995);
    result.noseShare = quantile(noseShare, 0.5);
    if (!faces.empty())
        cutTime = 1000.0 * cutting / CLOCKS_PER_SEC / faces.size();
}
