#pragma once

#include "GrbmParameters.h"
#include "SampleSet.h"
#include "VerificationBench.h"

#include "Confidence.h"
#include "VerificationRule.h"

// Measures and calibrates a feature model on calibration people: persons filmed as frame
// sequences (enrolled like a video, from the first half of their frames) and persons with
// separate photographs (enrolled from three photographs and their jittered copies, which
// varies about as much as a lively live enrolment with head movements does).
//
// The matcher's decision is fixed: score 90 / (s d + 30) > 0.99, that is s d < 60.909, with
// s = target / (cohort statistic of the template). Distances divided by the cohort statistic
// (normalised distances) no longer depend on how varied the template is, nor on any scaling of
// the model; the cohort target places the fixed threshold where a chosen share of impostor
// comparisons is accepted.
class ModelCalibrator
{
public:
    static constexpr float kDistanceThreshold =
        VerificationRule::kScoreNumerator / kLockThreshold - VerificationRule::kScoreOffset;
    static constexpr int kEnrolPhotographs = 3;
    // A model without its calibration file scores with s = 1. The model is scaled so that
    // every calibration template's cohort statistic is at least this many times the target:
    // s = 1 is then stricter than the calibrated scale, and a lost file never opens the lock
    // more easily.
    static constexpr float kFallbackMargin = 2.0f;

    struct Figures
    {
        float eer = 0.0f;          // all trials pooled
        float sequenceEer = 0.0f;  // sequence-enrolled trials
        float photoEer = 0.0f;     // photo-enrolled trials
    };

    // cohort: face vectors of the foreign-face base.
    ModelCalibrator(const SampleSet& sequences, const SampleSet& photos, const RowMatrix& cohort,
                    unsigned seed = 1, int enrolPhotographs = kEnrolPhotographs);

    Figures measure(const VerificationBench::FeatureMap& map) const;
    struct Calibration
    {
        float cohortTarget = 0.0f; // the model's calibration constant
        float alpha = 1.0f;        // the factor to scale the model by (see kFallbackMargin)
    };
    // The cohort target that makes `targetShare` of the impostor comparisons of photograph
    // enrolments fall below the fixed threshold (of all comparisons when there are none), and
    // the factor that makes s = 1 stricter than that target. Photograph enrolments vary about
    // as much as a lively enrolment in front of a camera does; the frame sequences (one
    // studio, one sitting) are reported beside them.
    // Throws: std::runtime_error when there are no impostor comparisons.
    Calibration calibrate(const GrbmParameters& model, float targetShare) const;
    // Share of genuine and impostor comparisons accepted by the fixed threshold (sequence
    // trials and photo trials).
    void acceptance(const GrbmParameters& model, float cohortTarget, float& sequenceGenuine,
                    float& sequenceImpostor, float& photoGenuine, float& photoImpostor) const;

private:
    static SampleSet merged(const SampleSet& sequences, const SampleSet& photos);
    static std::vector<bool> sequenceFlags(const SampleSet& sequences, const SampleSet& photos);

    VerificationBench bench;
};
