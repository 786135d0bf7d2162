#pragma once

#include <opencv2/core.hpp>

// Turns a colour face crop into a grey sample of `sample`'s size: the crop is converted to
// grey, stretched to a square whose side is the larger sample dimension, and the centred
// sample-sized region of that square is kept. For 35 x 45 this keeps columns 5 to 39 of a
// 45 x 45 square.
// Requires: face is 8-bit BGR and not empty; sample is allocated 8-bit one-channel.
// Ensures:  sample holds the grey centre cut (its size and type unchanged).
void makeSample(const cv::Mat& face, cv::Mat& sample);
