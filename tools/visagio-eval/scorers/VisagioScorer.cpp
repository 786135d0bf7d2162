#include "scorers/VisagioScorer.h"

#include "Confidence.h"
#include "FaceGeometry.h"

namespace eval {

VisagioScorer::VisagioScorer() : faceMatcher(kSampleWidth, kSampleHeight)
{
}

std::optional<double> VisagioScorer::decisionThreshold() const
{
    return kLockThreshold;
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
