#pragma once

#include "ResnetMatcher.h"
#include "scorers/Scorer.h"

namespace eval {

// The face-resnet used exactly as the window uses it: each enrolment group's mirror-averaged
// chip embeddings added as one group and trained with ResnetMatcher::train, every face scored
// with ResnetMatcher::verify on its chip's single embedding. It works on embeddings alone, so
// the capture has to compute them (Options::embed).
class ResnetScorer : public Scorer
{
public:
    // The matcher reads the network and its calibration from the working directory's
    // face-resnet folder (RunFolder.h).
    // Throws: what ResnetMatcher's construction throws.
    ResnetScorer();

    std::string name() const override { return "Visagio resnet"; }
    std::optional<double> decisionThreshold() const override;
    // Throws: std::logic_error: samples alone carry no embedding.
    void enrol(const std::vector<cv::Mat>& group, unsigned seed) override;
    double score(const cv::Mat& sample) override;
    // Ensures: the matcher holds these groups alone, trained (no random choice is involved).
    // Throws:  std::logic_error("the resnet method needs embeddings: ...") when they are missing.
    void enrolFaces(const std::vector<std::vector<cv::Mat>>& groups,
                    const std::vector<std::vector<Embedding>>& embeddings, unsigned seed) override;
    // Throws: std::logic_error as enrolFaces for an empty embedding.
    double scoreFace(const cv::Mat& sample, const Embedding& embedding) override;

private:
    ResnetMatcher matcher;
};

} // namespace eval
