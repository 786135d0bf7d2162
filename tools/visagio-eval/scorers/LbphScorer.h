#pragma once

#include "scorers/Scorer.h"

#include <opencv2/face.hpp>

namespace eval {

// OpenCV contrib's local binary pattern histograms recogniser with its default parameters
// (radius 1, 8 neighbours, 8 x 8 cells), trained on the owner's group alone; the score is the
// negated chi-square distance to the owner's nearest enrolled sample.
class LbphScorer : public Scorer
{
public:
    std::string name() const override { return "OpenCV LBPH"; }
    void enrol(const std::vector<cv::Mat>& group, unsigned seed) override;
    double score(const cv::Mat& sample) override;

private:
    cv::Ptr<cv::face::LBPHFaceRecognizer> recogniser;
};

} // namespace eval
