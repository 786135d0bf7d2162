#include "EvalVisagioScorer.h"

namespace {
constexpr int kSampleWidth = 35;
constexpr int kSampleHeight = 45;
// The window counts a face as the owner above this score.
constexpr float kOwnerScore = 0.99f;
} // namespace

EvalVisagioScorer::EvalVisagioScorer() : faceMatcher(kSampleWidth, kSampleHeight)
{
}

std::optional<double> EvalVisagioScorer::decisionThreshold() const
{
    return kOwnerScore;
}

void EvalVisagioScorer::enrol(const std::vector<cv::Mat>& group, unsigned seed)
{
    enrolGroups({group}, seed);
}

void EvalVisagioScorer::enrolGroups(const std::vector<std::vector<cv::Mat>>& groups, unsigned seed)
{
    while (faceMatcher.groupCount() > 0)
        faceMatcher.removeGroup(0);
    // Training masks the samples in place: the matcher gets copies.
    for (const auto& group : groups) {
        std::vector<cv::Mat> copies;
        for (const cv::Mat& sample : group)
            copies.push_back(sample.clone());
        faceMatcher.addGroup(copies);
    }
    faceMatcher.seedRandom(seed);
    faceMatcher.train();
}

double EvalVisagioScorer::score(const cv::Mat& sample)
{
    return faceMatcher.verify(sample.clone());
}
