#pragma once

#include "FaceMatcher.h"
#include "scorers/Scorer.h"

namespace eval {

// The program's own matcher, used exactly as the window uses it: the group is added and
// trained with FaceMatcher::train, every face scored with FaceMatcher::verify.
class VisagioScorer : public Scorer
{
public:
    // The matcher reads its model and foreign base relative to the working directory.
    // Throws: what FaceMatcher's construction throws.
    VisagioScorer();

    std::string name() const override { return "Visagio"; }
    std::optional<double> decisionThreshold() const override;
    // Ensures: the matcher holds this group alone, trained with its random source at `seed`.
    void enrol(const std::vector<cv::Mat>& group, unsigned seed) override;
    // Each group added as the window adds an enrolment run, then one training.
    void enrolGroups(const std::vector<std::vector<cv::Mat>>& groups, unsigned seed) override;
    double score(const cv::Mat& sample) override;

    const FaceMatcher& matcher() const { return faceMatcher; }

private:
    FaceMatcher faceMatcher;
};

} // namespace eval
