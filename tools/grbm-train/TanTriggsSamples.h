#pragma once

#include "GrbmParameters.h"
#include "SampleSet.h"

// Face samples and cohort faces put through the Tan-Triggs light normalisation (as 8-bit
// samples, TanTriggs::normaliseGrey), for measuring a feature model that sees every sample
// normalised: training, calibration and the cohort alike.
namespace TanTriggsSamples {

// Ensures: every sample normalised; persons and sources kept.
SampleSet normalised(const SampleSet& samples);

// The cohort's face vectors made 8-bit samples again (standardised values spread about
// mid-grey, 40 grey levels a deviation), normalised, and made face vectors.
RowMatrix normalisedCohort(const RowMatrix& cohort);

} // namespace TanTriggsSamples
