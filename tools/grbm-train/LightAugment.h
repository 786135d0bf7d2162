#pragma once

#include <opencv2/core.hpp>

#include <random>

// Changes of light and camera put on a 35 x 45 grey face sample, for training features that a
// new room or a new day moves less than a new person does: a light from one side (the sample
// multiplied by a horizontal ramp across the whole sample, PhotoRelight), a camera gamma, a
// slight blur and a small shift and change of scale.
namespace LightAugment {

// Requires: sample 8-bit grey; 0 <= strength < 1.
// Ensures:  a copy of the same size whose brightness falls linearly from 1 at one edge to
//           1 - strength at the other (from the left edge when fromLeft).
// Throws:   std::invalid_argument("relight strength must be in [0, 1)").
cv::Mat sideLit(const cv::Mat& sample, double strength, bool fromLeft);

// Requires: sample 8-bit grey.
// Ensures:  a copy of the same size and type with a random one-sided light (strength 0.2 to
//           0.7, either side), gamma (0.6 to 1.6), blur (half of the time, sigma up to 1 px),
//           shift (up to 1.5 px) and scale (up to 5 %), drawn from `random`.
cv::Mat randomised(const cv::Mat& sample, std::mt19937& random);

} // namespace LightAugment
