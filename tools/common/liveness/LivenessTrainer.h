#pragma once

#include "LivenessFaces.h"
#include "LivenessModel.h"

#include <vector>

// The liveness check's linear classifier: L2-regularised logistic regression (live = 1,
// photograph = 0) on the standardised features, fitted by Newton's method, the two classes
// weighted to count alike. The model's threshold is left at 0 (even odds): the caller fixes it.
//
// Requires: faces holds live and photo faces, all with features of one length.
// Ensures:  mean and scale standardise each feature over the faces (scale 1 for a constant one).
// Throws:   std::invalid_argument when a class is missing.
LivenessModel trainLiveness(const std::vector<const LivenessFace*>& faces, double l2);

// The margins of `faces` under `model`, in order.
std::vector<float> livenessMargins(const LivenessModel& model, const std::vector<const LivenessFace*>& faces);
