#include "scorers/EigenfacesScorer.h"

namespace eval {

void EigenfacesScorer::enrol(const std::vector<cv::Mat>& group, unsigned)
{
    recogniser = cv::face::EigenFaceRecognizer::create();
    recogniser->train(group, std::vector<int>(group.size(), 0));
}

double EigenfacesScorer::score(const cv::Mat& sample)
{
    int label = -1;
    double distance = 0.0;
    recogniser->predict(sample, label, distance);
    return -distance;
}

} // namespace eval
