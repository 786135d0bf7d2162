#pragma once

#include "EvalScorer.h"

#include <memory>

// Another method with every sample light-normalised by the Tan-Triggs chain first, for
// enrolment and scoring alike (as a recogniser with that preprocessing would run).
class EvalTanTriggsScorer : public EvalScorer
{
public:
    // Requires: inner not null.
    explicit EvalTanTriggsScorer(std::unique_ptr<EvalScorer> inner);

    std::string name() const override { return inner->name() + " + Tan-Triggs"; }
    std::optional<double> decisionThreshold() const override { return inner->decisionThreshold(); }
    void enrol(const std::vector<cv::Mat>& group, unsigned seed) override;
    void enrolGroups(const std::vector<std::vector<cv::Mat>>& groups, unsigned seed) override;
    double score(const cv::Mat& sample) override;

private:
    std::unique_ptr<EvalScorer> inner;
};
