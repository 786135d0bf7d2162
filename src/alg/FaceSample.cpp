#include "FaceSample.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {
// The centred sample-sized region of a square whose side is the larger sample dimension:
// a tall sample keeps the middle columns, any other the middle rows.
cv::Rect centreCut(cv::Size sample, int side)
{
    if (sample.height > sample.width)
        return cv::Rect((side - sample.width) / 2, 0, sample.width, sample.height);
    return cv::Rect(0, (side - sample.height) / 2, sample.width, sample.height);
}
} // namespace

void makeSample(const cv::Mat& face, cv::Mat& sample)
{
    CV_Assert(!sample.empty() && sample.type() == CV_8UC1);
    cv::Mat grey;
    cv::cvtColor(face, grey, cv::COLOR_BGR2GRAY);
    const int side = std::max(sample.cols, sample.rows);
    cv::Mat square;
    cv::resize(grey, square, cv::Size(side, side), 0, 0, cv::INTER_LINEAR);
    // copyTo writes into sample's own buffer, since the sizes and types agree.
    square(centreCut(sample.size(), side)).copyTo(sample);
}
