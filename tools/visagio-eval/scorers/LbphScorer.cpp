#include "scorers/LbphScorer.h"

namespace eval {

void LbphScorer::enrol(const std::vector<cv::Mat>& group, unsigned)
{
    recogniser = cv::face::LBPHFaceRecognizer::create();
    recogniser->train(group, std::vector<int>(group.size(), 0));
}

double LbphScorer::score(const cv::Mat& sample)
{
    int label = -1;
    double distance = 0.0;
    recogniser->predict(sample, label, distance);
    return -distance;
}

} // namespace eval
