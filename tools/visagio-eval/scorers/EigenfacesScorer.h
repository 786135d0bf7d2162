#pragma once

#include "scorers/Scorer.h"

#include <opencv2/face.hpp>

namespace eval {

// OpenCV contrib's Eigenfaces recogniser with its default parameters (all components),
// trained on the owner's group alone; the score is the negated Euclidean distance, in the
// owner's principal subspace, to the nearest enrolled sample.
class EigenfacesScorer : public Scorer
{
public:
    std::string name() const override { return "OpenCV Eigenfaces"; }
    void enrol(const std::vector<cv::Mat>& group, unsigned seed) override;
    double score(const cv::Mat& sample) override;

private:
    cv::Ptr<cv::face::EigenFaceRecognizer> recogniser;
};

} // namespace eval
