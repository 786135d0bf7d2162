#pragma once

#include "FaceLandmarks.h"

#include <opencv2/core.hpp>

#include <utility>

// Places of a face found from its 68 landmarks (the order FaceLandmarks.h gives).

// The centres of the eyes on the image's left and right: the mean of each eye's six points.
inline std::pair<cv::Point2f, cv::Point2f> eyeCentres(const FaceLandmarks::Points& points)
{
    cv::Point2f left, right;
    for (int i = 0; i < 6; ++i) {
        left += points[std::size_t(36 + i)];
        right += points[std::size_t(42 + i)];
    }
    return {left / 6.0f, right / 6.0f};
}

// The mouth's centre: the mean of the outer lip's twelve points.
inline cv::Point2f mouthCentre(const FaceLandmarks::Points& points)
{
    cv::Point2f sum;
    for (int i = 48; i < 60; ++i)
        sum += points[std::size_t(i)];
    return sum / 12.0f;
}
