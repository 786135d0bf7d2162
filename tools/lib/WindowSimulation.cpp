#include "WindowSimulation.h"

#include "FaceVectors.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>

namespace {
constexpr float kScoreNumerator = 90.0f;
constexpr float kScoreOffset = 30.0f;
constexpr float kOwnerScore = 0.99f;
constexpr float kNewScoreWeight = 0.199999988f;
constexpr float kDecay = 0.8f;

RowMatrix vectorsOf(const std::vector<cv::Mat>& samples)
{
    SampleSet set;
    for (const auto& sample : samples)
        set.add(sample, std::string(), 0);
    return FaceVectors::of(set);
}
} // namespace

WindowSimulation::WindowSimulation(const VerificationBench::FeatureMap& featureMap,
                                   const std::vector<cv::Mat>& enrolment, unsigned seed)
    : map(featureMap)
{
    if (enrolment.size() < static_cast<size_t>(kGroupSize))
        throw std::invalid_argument("enrolment needs 100 face samples");
    const std::vector<cv::Mat> group(enrolment.begin(), enrolment.begin() + kGroupSize);
    RowMatrix vectors = vectorsOf(group);
    const RowMatrix mirrored = FaceVectors::mirrored(vectors);
    std::mt19937 random(seed);
    for (int k = 0; k < kGroupSize; ++k)
        if (random() % 2 == 0)
            vectors.row(k) = mirrored.row(k);
    templ = map(vectors);
    const Eigen::RowVectorXf mean = templ.colwise().mean();
    const Eigen::RowVectorXf spread =
        ((templ.rowwise() - mean).colwise().squaredNorm() / static_cast<float>(kGroupSize)).cwiseSqrt();
    quality.resize(mean.size());
    for (Eigen::Index j = 0; j < mean.size(); ++j)
        quality[j] = spread[j] > 0.0f ? std::abs(mean[j]) / spread[j] : 0.0f;
}

std::vector<float> WindowSimulation::distances(const std::vector<cv::Mat>& samples) const
{
    std::vector<float> result;
    if (samples.empty())
        return result;
    const RowMatrix features = map(vectorsOf(samples));
    for (Eigen::Index k = 0; k < features.rows(); ++k) {
        const RowMatrix differences = templ.rowwise() - features.row(k);
        const Eigen::VectorXf squared = differences.cwiseAbs2() * quality.transpose();
        result.push_back(std::sqrt(squared.minCoeff()));
    }
    return result;
}

float WindowSimulation::score(float distance)
{
    return kScoreNumerator / (distance + kScoreOffset);
}

WindowSimulation::VideoResult WindowSimulation::verify(const std::vector<cv::Mat>& ticks) const
{
    std::vector<cv::Mat> faces;
    for (const auto& tick : ticks)
        if (!tick.empty())
            faces.push_back(tick);
    const std::vector<float> d = distances(faces);
    VideoResult result;
    float confidence = 0.0f;
    size_t face = 0;
    for (const auto& tick : ticks) {
        if (tick.empty()) {
            confidence = kDecay * confidence;
            continue;
        }
        const float s = score(d[face++]);
        ++result.faceTicks;
        if (s > kOwnerScore)
            ++result.ownerTicks;
        confidence = static_cast<float>(static_cast<double>(kNewScoreWeight) * s + static_cast<double>(kDecay) * confidence);
        result.maxConfidence = std::max(result.maxConfidence, confidence);
        if (confidence > kOwnerScore && result.lockFaceTick < 0)
            result.lockFaceTick = result.faceTicks;
    }
    if (!d.empty()) {
        std::vector<float> sorted = d;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2), sorted.end());
        result.medianDistance = sorted[sorted.size() / 2];
        result.minDistance = *std::min_element(d.begin(), d.end());
    }
    return result;
}
