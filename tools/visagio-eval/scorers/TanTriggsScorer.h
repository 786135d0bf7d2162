#pragma once

#include "scorers/Scorer.h"

#include <memory>

namespace eval {

// Another method with every sample light-normalised by the Tan-Triggs chain first, for
// enrolment and scoring alike (as a recogniser with that preprocessing would run).
class TanTriggsScorer : public Scorer
{
public:
    // Requires: inner not null.
    explicit TanTriggsScorer(std::unique_ptr<Scorer> inner);

    std::string name() const override { return inner->name() + " + Tan-Triggs"; }
    std::optional<double> decisionThreshold() const override { return inner->decisionThreshold(); }
    void enrol(const std::vector<cv::Mat>& group, unsigned seed) override;
    void enrolGroups(const std::vector<std::vector<cv::Mat>>& groups, unsigned seed) override;
    double score(const cv::Mat& sample) override;

private:
    std::unique_ptr<Scorer> inner;
};

} // namespace eval
