#include "EyeFit.h"

#include "FaceChip.h"
#include "ProgressBar.h"
#include "report/Quantiles.h"
#include "SequentialOpenCv.h"

#include <opencv2/objdetect.hpp>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <stdexcept>

namespace {

float median(const std::vector<float>& values)
{
    return eval::quantile(values, 0.5);
}

using eval::medianDeviation;

} // namespace

EyeFit::EyeFit(const std::vector<BoxedFace>& faces, const std::string& eyeCascade)
{
    if (cv::CascadeClassifier(eyeCascade).empty())
        throw std::runtime_error("cannot load eye cascade: " + eyeCascade);
    const eval::SequentialOpenCv sequential;
    FaceChip chips(eyeCascade);
    // Processor time, so that other programs on the machine do not count.
    std::clock_t cutting = 0;
    ProgressBar progress("eye search", long(faces.size()));
    for (const BoxedFace& face : faces) {
        const cv::Mat image = readPhoto(face.photo);
        const std::clock_t start = std::clock();
        chips.cut(image, face.box);
        cutting += std::clock() - start;
        const auto [left, right] = chips.lastEyes();
        const cv::Point2f mid = 0.5f * (left + right) - cv::Point2f(face.box.tl());
        found.push_back({face.set, chips.aligned(), mid.x / face.box.width, mid.y / face.box.height,
                         float(cv::norm(right - left)) / face.box.width});
        progress.update(long(found.size()));
    }
    progress.finish();
    if (!faces.empty())
        cutTime = 1000.0 * cutting / CLOCKS_PER_SEC / faces.size();
}

EyeFit::Summary EyeFit::summary(const std::string& set) const
{
    Summary result;
    std::vector<float> midX, midY, distance;
    for (const Found& face : found) {
        if (!set.empty() && face.set != set)
            continue;
        ++result.faces;
        if (!face.pair)
            continue;
        midX.push_back(face.midX);
        midY.push_back(face.midY);
        distance.push_back(face.distance);
    }
    result.pairs = int(midX.size());
    result.midX = median(midX);
    result.midY = median(midY);
    result.distance = median(distance);
    result.spreadX = medianDeviation(midX);
    result.spreadY = medianDeviation(midY);
    result.spreadDistance = medianDeviation(distance);
    return result;
}
