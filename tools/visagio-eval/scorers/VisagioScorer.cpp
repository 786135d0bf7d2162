#include "scorers/VisagioScorer.h"

namespace eval {

namespace {
constexpr int kSampleWidth = 35;
constexpr int kSampleHeight = 45;
// The window counts a face as the owner above this score.
constexpr float kOwnerScore = 0.99f;
} // namespace

VisagioScorer::VisagioScorer() : faceMatcher(kSampleWidth, kSampleHeight)
{
}

std::optional<double> VisagioScorer::decisionThreshold() const
{
    return kOwnerScore;
}

void VisagioScorer::enrol(const std::vector<cv::Mat>& group, unsigned seed)
{
    enrolGroups({group}, seed);
}

void VisagioScorer::enrolGroups(const std::vector<std::vector<cv::Mat>>& groups, unsigned seed)
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

double VisagioScorer::score(const cv::Mat& sample)
{
    return faceMatcher.verify(sample.clone());
}

} // namespace eval
