#include "scorers/TanTriggsScorer.h"

#include "TanTriggs.h"

#include <stdexcept>

namespace eval {

namespace {
std::vector<cv::Mat> normalised(const std::vector<cv::Mat>& group)
{
    std::vector<cv::Mat> result;
    result.reserve(group.size());
    for (const cv::Mat& sample : group)
        result.push_back(TanTriggs::normaliseGrey(sample));
    return result;
}
} // namespace

TanTriggsScorer::TanTriggsScorer(std::unique_ptr<Scorer> inner) : inner(std::move(inner))
{
    if (!this->inner)
        throw std::invalid_argument("TanTriggsScorer needs a method to wrap");
}

void TanTriggsScorer::enrol(const std::vector<cv::Mat>& group, unsigned seed)
{
    inner->enrol(normalised(group), seed);
}

void TanTriggsScorer::enrolGroups(const std::vector<std::vector<cv::Mat>>& groups, unsigned seed)
{
    std::vector<std::vector<cv::Mat>> result;
    for (const auto& group : groups)
        result.push_back(normalised(group));
    inner->enrolGroups(result, seed);
}

double TanTriggsScorer::score(const cv::Mat& sample)
{
    return inner->score(TanTriggs::normaliseGrey(sample));
}

} // namespace eval
