#pragma once

#include <opencv2/core/types.hpp>

// The sizes every part of the lock agrees on: the camera frame the window works on, the grey
// face sample cut from it, and the face's ellipse inside a face box or a sample.

constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 240;
inline const cv::Size kFrameSize(kFrameWidth, kFrameHeight);

constexpr int kSampleWidth = 35;
constexpr int kSampleHeight = 45;
inline const cv::Size kSampleSize(kSampleWidth, kSampleHeight);

// The face ellipse of a w x h box: centre (0.5 w, 0.4 h), semi-axes (0.5 w, h / 1.5). The
// window draws it as the face oval; the matcher keeps only the pixels inside it.
constexpr double kEllipseCentreX = 0.5;
constexpr double kEllipseCentreY = 0.4;
constexpr double kEllipseAxisX = 0.5;
constexpr double kEllipseAxisYDivisor = 1.5;
