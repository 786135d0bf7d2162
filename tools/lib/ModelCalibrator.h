#pragma once

#include "GrbmParameters.h"
#include "SampleSet.h"
#include "VerificationBench.h"

// Measures and calibrates a feature model on calibration people: persons filmed as frame
// sequences (enrolled like a video, from the first half of their frames) and persons with
// separate photographs (enrolled from three photographs and their jittered copies, which
// varies about as much as a lively live enrolment with head movements does).
//
// The matcher's decision is fixed (score 90 / (d + 30) > 0.99, that is d < 60.909); scaling the
// weights and hidden biases by alpha multiplies every distance by alpha and leaves every
// quality weight unchanged, so alpha places the fixed threshold where a chosen share of
// impostor comparisons is accepted.
class ModelCalibrator
{
public:
    static constexpr float kDistanceThreshold = 90.0f / 0.99f - 30.0f;
    static constexpr int kEnrolPhotographs = 3;

    struct Figures
    {
        float eer = 0.0f;          // all trials pooled
        float sequenceEer = 0.0f;  // sequence-enrolled trials
        float photoEer = 0.0f;     // photo-enrolled trials
    };

    ModelCalibrator(const SampleSet& sequences, const SampleSet& photos, unsigned seed = 1);

    Figures measure(const VerificationBench::FeatureMap& map) const;
    // The factor that makes at most `targetShare` of the impostor comparisons fall below the
    // fixed threshold in either group (sequence and photograph enrolments): the group whose
    // templates vary more has the shorter distances and sets the factor.
    float alphaFor(const GrbmParameters& model, float targetShare) const;
    // Share of genuine and impostor comparisons accepted by the fixed threshold (sequence
    // trials and photo trials).
    void acceptance(const GrbmParameters& model, float& sequenceGenuine, float& sequenceImpostor,
                    float& photoGenuine, float& photoImpostor) const;

private:
    static SampleSet merged(const SampleSet& sequences, const SampleSet& photos);
    static std::vector<bool> sequenceFlags(const SampleSet& sequences, const SampleSet& photos);

    VerificationBench bench;
};
