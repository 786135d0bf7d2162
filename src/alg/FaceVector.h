#pragma once

#include "LightNormalisation.h"
#include "RandomSource.h"

#include <QImage>
#include <opencv2/core.hpp>

#include <vector>

// Face vectors: W x H floats (element y * W + x), the face ellipse kept, the rest filled with
// the face's mean brightness, standardised. The matcher and the tools that train its model
// share these functions so that both see exactly the same vectors.

// The elliptical face mask, W x H, 8-bit, `channels` channels: 255 inside the ellipse with
// centre (w/2, 0.4 h) and semi-axes (w/2, h/1.5), 0 outside.
cv::Mat createFaceMask(cv::Size size, int channels);

// Requires: image is 8-bit with mask's size and channel count.
// Ensures:  image is masked in place (pixels outside the ellipse become 0); returns the
//           standardised vector of channel 0 (mean 0, deviation 1; all zeros when the face
//           has nothing counted or no spread).
// The mean is a float over the non-black pixels, which then stand in for every black one;
// the squared deviations are rounded to float and summed in double, the deviation is kept in
// double and each element is (value - mean) / deviation rounded to float.
std::vector<float> maskedFaceVector(cv::Mat& image, const cv::Mat& mask);

// The face vector a model with `light` expects: with None exactly maskedFaceVector; with
// TanTriggs the image is masked in place all the same, and the vector is maskedFaceVector of
// channel 0 normalised by TanTriggs::normaliseFace.
std::vector<float> faceVector(cv::Mat& image, const cv::Mat& mask, LightNormalisation light);

// The face vector of a 35 x 45 photograph crop, as the foreign-face base makes it; with
// trimBackground, light pixels (>= threshold) at the row ends are replaced by the mean, the
// right-hand ones with noise drawn from `random`.
// Grey = (11 R + 16 G + 5 B) >> 5; the ellipse test, the mean, the deviation (divisor W x H)
// and the standardisation are all single precision; pixels with q > 1 take the mean. A face
// with nothing counted for its mean gives all zeros without any draw; one with no spread
// gives all zeros after its draws.
// With LightNormalisation::TanTriggs the grey levels so prepared (the draws the same) are
// rounded to 8 bits and made a vector by faceVector.
std::vector<float> photoFaceVector(const QImage& image, bool trimBackground, int threshold,
                                   RandomSource& random, LightNormalisation light = LightNormalisation::None);

// Mirrors a face vector left to right in place: in each of the H rows columns x and W - 1 - x
// swap (the middle column of an odd width stays).
void mirrorFaceVector(std::vector<float>& vector, cv::Size size);
