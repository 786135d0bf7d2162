#pragma once

#include "EvalScorer.h"

// What the feature model adds: the matcher's rule (nearest template vector under the
// weighted distance, weights |mean| / spread of the owner's values, about half of the
// enrolment vectors mirrored, score 90 / (d + 30)) applied to the 1575 face-vector values
// themselves instead of the 200 model features.
class EvalRawVectorScorer : public EvalScorer
{
public:
    EvalRawVectorScorer();

    std::string name() const override { return "Raw vectors (no RBM)"; }
    void enrol(const std::vector<cv::Mat>& group, unsigned seed) override;
    double score(const cv::Mat& sample) override;

private:
    std::vector<float> faceVector(const cv::Mat& sample) const;
    void weigh();

    cv::Mat mask;
    std::vector<std::vector<float>> templateVectors;
    std::vector<float> quality;
};
