#pragma once

#include <opencv2/core.hpp>

#include <vector>

// The colour texture of a face, which tells a live face from a printed photograph of one: the
// face box scaled to 64 x 64 and to 32 x 32, and at each scale in each channel of YCrCb and HSV
// the histogram of uniform local binary patterns (8 neighbours at radius 1; 58 uniform patterns
// and one bin for the rest), each histogram summing to 1. Print and paper change the chroma and
// the texture that a camera sees of skin; the pattern histograms pick that up and ignore where
// the face is. The coarser scale keeps telling them apart at cameras that blur or compress the
// finest texture away.
inline constexpr const char* kLivenessFeatureSet = "colour-lbp-2";
inline constexpr int kLbpBins = 59;
inline constexpr int kLivenessChannels = 6;
inline constexpr int kLivenessScales = 2;
inline constexpr int kLivenessFeatureCount = kLivenessScales * kLivenessChannels * kLbpBins;

// Requires: frame is CV_8UC3 BGR; face overlaps the frame.
// Ensures:  kLivenessFeatureCount values, histogram by histogram in the order Y, Cr, Cb, H, S, V
//           of the 64 x 64 face, then the same of the 32 x 32 face.
// Throws:   std::logic_error("liveness needs a BGR frame and a face box in it") otherwise.
std::vector<float> livenessFeatures(const cv::Mat& frame, const cv::Rect& face);

// Requires: channel is CV_8UC1 with at least 3 rows and columns.
// Ensures:  the uniform-pattern histogram of its inner pixels, summing to 1.
std::vector<float> uniformLbpHistogram(const cv::Mat& channel);
