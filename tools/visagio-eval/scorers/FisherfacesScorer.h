#pragma once

#include "scorers/Scorer.h"

#include <opencv2/face.hpp>

namespace eval {

// OpenCV contrib's Fisherfaces recogniser trained on two classes, the owner's group and the
// foreign-face base: its one discriminant axis separates the owner from other people. Both
// classes enter as face vectors (the matcher's mask and standardisation), the form in which
// the foreign base exists. The score is a face's position along the axis, signed so that the
// owner's side is high.
class FisherfacesScorer : public Scorer
{
public:
    // Requires: foreigns not empty, each 35 * 45 values.
    // Throws:   std::invalid_argument("Fisherfaces needs a foreign-face base") when empty.
    explicit FisherfacesScorer(const std::vector<std::vector<float>>& foreigns);

    std::string name() const override { return "OpenCV Fisherfaces"; }
    void enrol(const std::vector<cv::Mat>& group, unsigned seed) override;
    double score(const cv::Mat& sample) override;

private:
    cv::Mat faceVector(const cv::Mat& sample) const;
    double project(const cv::Mat& vector) const;

    cv::Mat mask;
    std::vector<cv::Mat> foreignImages;
    cv::Ptr<cv::face::FisherFaceRecognizer> recogniser;
    double ownerSide = 1.0;
};

} // namespace eval
