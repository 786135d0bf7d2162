#pragma once

#include <opencv2/core.hpp>

// How a face is lit, for the liveness check: its texture says little when the face is too
// dark, lit from behind or burnt out, so such faces are not judged at all.
struct FaceLight
{
    enum class Problem { None, Dark, Backlit, Overexposed };

    float faceMean = 0;      // mean luma of the face box, 0-255
    float clippedShare = 0;  // share of the face box at luma 250 or more
    float surroundMean = 0;  // mean luma of the frame outside the face box

    // Requires: frame is CV_8UC3 BGR; face overlaps the frame.
    // Throws:   std::logic_error("liveness needs a BGR frame and a face box in it") otherwise.
    static FaceLight measure(const cv::Mat& frame, const cv::Rect& face);

    Problem problem() const;
};
