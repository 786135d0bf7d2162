#include "WindowSimulation.h"

#include "FaceVectors.h"
#include "LockReplay.h"

#include <algorithm>
#include <random>
#include <stdexcept>

namespace {
RowMatrix vectorsOf(const std::vector<cv::Mat>& samples)
{
    SampleSet set;
    for (const auto& sample : samples)
        set.add(sample, std::string(), 0);
    return FaceVectors::of(set);
}
} // namespace

WindowSimulation::WindowSimulation(const VerificationBench::FeatureMap& featureMap,
                                   const std::vector<cv::Mat>& enrolment, const RowMatrix& cohortVectors,
                                   std::optional<float> cohortTarget, unsigned seed)
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
    const RowMatrix cohort = cohortVectors.rows() > 0 ? map(cohortVectors) : RowMatrix();
    rule.emplace(map(vectors), cohort, cohortTarget);
}

std::vector<float> WindowSimulation::distances(const std::vector<cv::Mat>& samples) const
{
    std::vector<float> result;
    if (samples.empty())
        return result;
    const RowMatrix features = map(vectorsOf(samples));
    for (Eigen::Index k = 0; k < features.rows(); ++k)
        result.push_back(rule->distance(features.row(k).data()));
    return result;
}

float WindowSimulation::score(float distance) const
{
    return rule->score(distance);
}

WindowSimulation::VideoResult WindowSimulation::verify(const std::vector<cv::Mat>& ticks) const
{
    std::vector<cv::Mat> faces;
    for (const auto& tick : ticks)
        if (!tick.empty())
            faces.push_back(tick);
    const std::vector<float> d = distances(faces);
    std::vector<std::optional<float>> scores;
    size_t face = 0;
    for (const auto& tick : ticks)
        scores.push_back(tick.empty() ? std::optional<float>() : score(d[face++]));
    const LockOutcome lock = LockReplay::replay(scores);
    VideoResult result;
    result.faceTicks = lock.faceTicks;
    result.ownerTicks = lock.ownerTicks;
    result.lockFaceTick = lock.openingFaceTick;
    result.maxConfidence = lock.peakConfidence;
    if (!d.empty()) {
        std::vector<float> sorted = d;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2), sorted.end());
        result.medianDistance = sorted[sorted.size() / 2];
        result.minDistance = *std::min_element(d.begin(), d.end());
    }
    return result;
}
