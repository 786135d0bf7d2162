#pragma once

#include "LightNormalisation.h"
#include "SampleSet.h"

#include <opencv2/core.hpp>

// Face samples put through the Tan-Triggs light normalisation exactly as the matcher
// normalises them for a model that expects it (TanTriggs::normaliseFace under the face mask),
// for training and measuring such a model on samples as the window cut them.
namespace TanTriggsSamples {

// Requires: a one-channel 8-bit sample of the sample size.
cv::Mat normalisedSample(const cv::Mat& sample);

// The change the matcher makes of every sample for a model with `light` before it becomes a
// face vector: normalisedSample for Tan-Triggs, none for faces as cut.
SampleSet::Change preparationFor(LightNormalisation light);

} // namespace TanTriggsSamples
