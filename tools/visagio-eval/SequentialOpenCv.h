#pragma once

#include <opencv2/core/utility.hpp>

namespace eval {

// Runs OpenCV's own functions sequentially for the object's life: with OpenCV's threads the
// face cascade's result can depend on their timing, and the evaluation must repeat exactly.
class SequentialOpenCv
{
public:
    SequentialOpenCv() : previous(cv::getNumThreads()) { cv::setNumThreads(0); }
    ~SequentialOpenCv() { cv::setNumThreads(previous); }
    SequentialOpenCv(const SequentialOpenCv&) = delete;
    SequentialOpenCv& operator=(const SequentialOpenCv&) = delete;

private:
    int previous;
};

} // namespace eval
