#pragma once

#include "RuleTemplate.h"
#include "scorers/Scorer.h"

#include <optional>

namespace eval {

// What the feature model adds: the matcher's rule (nearest template vector under the
// weighted distance, weights |mean| / spread of the owner's values, about half of the
// enrolment vectors mirrored, distances scaled by the foreign faces of the working directory)
// applied to the 1575 face-vector values themselves instead of the 200 model features. Only
// the ranking counts (no decision threshold), so the cohort target is 1.
class RawVectorScorer : public Scorer
{
public:
    RawVectorScorer();

    std::string name() const override { return "Raw vectors (no RBM)"; }
    void enrol(const std::vector<cv::Mat>& group, unsigned seed) override;
    double score(const cv::Mat& sample) override;

private:
    std::vector<float> faceVector(const cv::Mat& sample) const;

    cv::Mat mask;
    RowMatrix cohort;
    std::optional<RuleTemplate> rule;
};

} // namespace eval
