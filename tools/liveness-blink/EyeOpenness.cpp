#include "EyeOpenness.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <stdexcept>

namespace {
// The eye band in face-box fractions, eyebrows included: alt2 puts the eyes
// near 0.38 h.
constexpr double kBandX = 0.1, kBandY = 0.2, kBandWidth = 0.8, kBandHeight = 0.35;
// The band is scaled to this width, so that eyes are about 40 px, above the
// cascades' 20 px.
constexpr int kScaledBandWidth = 160;
constexpr double kEyeScaleStep = 1.1;
constexpr int kEyeNeighbours = 3;
const cv::Size kMinEye(20, 20), kMaxEye(80, 80);
// Texture: closed below this share of the median of the kNeighbours faces
// either side (a lid line has less vertical gradient than an iris); the ratio's
// 1st percentile on live faces.
constexpr float kClosedShare = 0.8f;
constexpr std::size_t kNeighbours = 7;

void load(cv::CascadeClassifier& cascade, const std::string& path)
{
    if (!cascade.load(path))
        throw std::runtime_error("cannot load eye cascade: " + path);
}

int found(cv::CascadeClassifier& cascade, const cv::Mat& band)
{
    std::vector<cv::Rect> eyes;
    cascade.detectMultiScale(band, eyes, kEyeScaleStep, kEyeNeighbours, 0, kMinEye, kMaxEye);
    return static_cast<int>(eyes.size());
}

float verticalGradient(const cv::Mat& grey)
{
    cv::Mat dy;
    cv::Sobel(grey, dy, CV_32F, 0, 1);
    return static_cast<float>(cv::mean(cv::abs(dy))[0]);
}

EyeState textureState(const std::vector<EyeReading>& readings, std::size_t k)
{
    std::vector<float> around;
    for (std::size_t j = k > kNeighbours ? k - kNeighbours : 0; j < std::min(readings.size(), k + kNeighbours + 1); ++j)
        if (j != k)
            around.push_back(readings[j].texture);
    if (around.empty())
        return EyeState::Unknown;
    std::nth_element(around.begin(), around.begin() + around.size() / 2, around.end());
    return readings[k].texture < kClosedShare * around[around.size() / 2] ? EyeState::Closed : EyeState::Open;
}

EyeState cascadeState(const EyeReading& reading, EyeCue cue)
{
    if (cue == EyeCue::BothEyes)
        return reading.openEyes > 1 ? EyeState::Open : EyeState::Closed;
    if (reading.openEyes > 0)
        return EyeState::Open;
    return cue == EyeCue::SplitCascade && reading.splitEyes == 0 ? EyeState::Unknown : EyeState::Closed;
}

double ticksSince(double& start)
{
    const double now = double(cv::getTickCount()), elapsed = now - start;
    start = now;
    return elapsed;
}
} // namespace

EyeOpenness::EyeOpenness(const std::string& cascadeFolder)
{
    load(openEye, cascadeFolder + "haarcascade_eye.xml");
    load(leftSplit, cascadeFolder + "haarcascade_lefteye_2splits.xml");
    load(rightSplit, cascadeFolder + "haarcascade_righteye_2splits.xml");
}

EyeReading EyeOpenness::read(const cv::Mat& grey, const cv::Rect& face)
{
    const cv::Rect inFrame = face & cv::Rect(0, 0, grey.cols, grey.rows);
    const cv::Rect band = cv::Rect(face.x + int(kBandX * face.width), face.y + int(kBandY * face.height),
                                   int(kBandWidth * face.width), int(kBandHeight * face.height)) &
                          inFrame;
    EyeReading reading;
    double start = double(cv::getTickCount());
    cv::Mat scaled;
    const double scale = double(kScaledBandWidth) / band.width;
    cv::resize(grey(band), scaled, cv::Size(), scale, scale, cv::INTER_LINEAR);
    cv::equalizeHist(scaled, scaled);
    reading.openEyes = found(openEye, scaled);
    openTicks += ticksSince(start);
    reading.splitEyes = (found(leftSplit, scaled) > 0 ? 1 : 0) + (found(rightSplit, scaled) > 0 ? 1 : 0);
    splitTicks += ticksSince(start);
    reading.texture = verticalGradient(grey(band)) / std::max(1e-3f, verticalGradient(grey(inFrame)));
    textureTicks += ticksSince(start);
    ++reads;
    return reading;
}

double EyeOpenness::costMs(EyeCue cue) const
{
    const double ticks = cue == EyeCue::Texture        ? textureTicks
                         : cue == EyeCue::SplitCascade ? openTicks + splitTicks
                                                       : openTicks;
    return reads > 0 ? 1000.0 * ticks / cv::getTickFrequency() / reads : 0.0;
}

std::vector<EyeState> EyeOpenness::states(const std::vector<EyeReading>& readings, EyeCue cue)
{
    std::vector<EyeState> result;
    for (std::size_t k = 0; k < readings.size(); ++k)
        result.push_back(cue == EyeCue::Texture ? textureState(readings, k) : cascadeState(readings[k], cue));
    return result;
}
