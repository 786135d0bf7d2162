#pragma once

#include "SampleSet.h"
#include "VerificationBench.h"

#include <memory>

// Measures a feature model under changes of light on calibration people, for choosing the
// fine-tuning's epoch: photographed people enrolled from their first three photographs as
// taken (with their moved copies) and probed with every photograph lit strongly from one side
// (LightAugment::sideLit: the light falls to a third across the sample, from either side in
// turn), and people photographed under many lights enrolled from their first crop and probed
// with every other. Both under the matcher's rule with the cohort scale.
class LightSelection
{
public:
    struct Figures
    {
        float relitEer = 0.0f; // photographs relit
        float lightEer = 0.0f; // people under many lights (0 without them)
    };

    // A change made to every sample, after the relight, before it becomes a face vector (for
    // measuring a light normalisation of the sample); none when empty.
    using Prepare = SampleSet::Change;

    // Requires: photos cut with moved copies (facedata-prep samples --copies N); lightPeople
    //           may be empty; cohort holds the foreign faces' vectors.
    LightSelection(const SampleSet& photos, const SampleSet& lightPeople, const RowMatrix& cohort, unsigned seed,
                   const Prepare& prepare = Prepare());

    Figures measure(const VerificationBench::FeatureMap& map) const;

private:
    std::unique_ptr<VerificationBench> relit;
    std::unique_ptr<VerificationBench> underLights;
};
