#pragma once

#include <opencv2/core.hpp>

// The light normalisation of Tan and Triggs (2010) for a grey face: gamma correction, a
// difference of Gaussians, a two-stage contrast equalisation and a tanh squashing. It removes
// smooth illumination (a light that falls across the face) and keeps local texture.
namespace TanTriggs {

// Requires: grey is a non-empty one-channel 8-bit image.
// Ensures:  CV_32FC1 of the same size, every value finite and inside [-10, 10] (tau); the
//           input is unchanged.
// Throws:   std::invalid_argument("Tan-Triggs needs a non-empty 8-bit grey image").
cv::Mat normalise(const cv::Mat& grey);

// The same, mapped linearly from [-tau, tau] to an 8-bit grey image of the same size, for
// recognisers that take 8-bit samples (LBPH).
cv::Mat normaliseGrey(const cv::Mat& grey);

// A face sample normalised for a feature model: the pixels outside the face mask first take
// the mean grey inside it, so that a sample normalises the same whether or not it was masked
// already, and the background cannot light the face's edge; then normaliseGrey.
// Requires: grey and mask one-channel 8-bit of the same size, the mask non-zero inside the face.
cv::Mat normaliseFace(const cv::Mat& grey, const cv::Mat& mask);

} // namespace TanTriggs
