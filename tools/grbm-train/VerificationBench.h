#pragma once

#include "GrbmParameters.h"
#include "SampleSet.h"

#include <functional>
#include <string>
#include <vector>

// Measures how well features separate people under the matcher's own verification rule, in
// batched float matrices for speed: a template of 100 enrolment vectors (about half mirrored
// at random), quality weights |mean| / spread of the owner's features (spread floored at
// 1e-6), distance to the nearest template vector weighted by quality, and with a cohort every
// distance divided by the template's cohort statistic (the normalised distance; the matcher
// multiplies it by the model's cohort target). Each trial enrols one person; the probes of that
// person not used for its enrolment are genuine comparisons, the probes of every other person
// impostor comparisons.
class VerificationBench
{
public:
    // Maps face vectors (n x 1575) to feature vectors (n x F).
    using FeatureMap = std::function<RowMatrix(const RowMatrix&)>;

    struct Trial
    {
        int person = -1;
        std::vector<int> enrol;   // samples, cycled to fill the 100 template vectors
        std::vector<int> exclude; // samples of the owner that are no genuine probes
        bool sequence = false;    // enrolled from a frame sequence
    };

    struct Result
    {
        std::vector<float> genuine;  // distances of genuine comparisons
        std::vector<float> impostor; // distances of impostor comparisons
        std::vector<bool> genuineSequence;  // the comparison's trial enrolled a sequence
        std::vector<bool> impostorSequence;
        std::vector<float> cohortStatistics; // one a trial (1 without a cohort)
        float eer = 0.0f;            // equal error rate
        float eerDistance = 0.0f;    // distance threshold at the equal error rate
        // The distance below which the given share of impostor comparisons falls.
        float impostorQuantile(float share) const;
        // Share of genuine / impostor comparisons with a distance below `threshold`.
        float genuineAcceptance(float threshold) const;
        float impostorAcceptance(float threshold) const;
        // The comparisons of sequence-enrolled (or of photo-enrolled) trials only.
        Result part(bool sequences) const;
    };

    static constexpr int kTemplateSize = 100;

    // Requires: every index of trials and probes is a sample of `samples`; cohort holds face
    //           vectors (no rows: distances are not normalised).
    VerificationBench(const SampleSet& samples, std::vector<Trial> trials, std::vector<int> probes,
                      RowMatrix cohort = RowMatrix(), unsigned seed = 1);

    // Which enrolled persons make trials.
    enum class Trials { All, Sequences, Photos };

    // Trials of a set of photographs cut with jittered copies. A person whose photographs are
    // consecutive frames (sequence[p]) is enrolled from the samples of the first half of its
    // frames, as a video enrolment would be; any other person from the samples of its first
    // `enrolSources` photographs. Every person's plain samples (the first sample of each
    // source) are probes; the owner's own enrolment photographs are no genuine probes.
    // Persons with too few photographs are probes only.
    static VerificationBench fromPhotoSet(const SampleSet& samples, const std::vector<bool>& sequence,
                                          const RowMatrix& cohort, Trials which = Trials::All,
                                          int enrolSources = 1, unsigned seed = 1);

    // Requires: map returns the same number of rows.
    Result run(const FeatureMap& map) const;

    int trialCount() const { return static_cast<int>(trials.size()); }
    int probeCount() const { return static_cast<int>(probes.size()); }

    // The feature map of a model (hidden pre-activations) and of the raw face vectors.
    static FeatureMap modelMap(const GrbmParameters& model);
    static FeatureMap rawMap();

private:
    RowMatrix ownerVectors(const Trial& trial, unsigned trialSeed) const;

    RowMatrix vectors;
    RowMatrix mirroredVectors;
    std::vector<int> persons;
    std::vector<Trial> trials;
    std::vector<int> probes;
    RowMatrix cohort;
    unsigned seed;
};

// The weighted distances of every probe (rows) to every template vector (columns) under the
// rule's quality weights of the template, in float matrices.
RowMatrix ruleDistances(const RowMatrix& templ, const RowMatrix& probeFeatures);

// The equal error rate of two distance lists (accept below a threshold) and its threshold.
void equalErrorRate(std::vector<float> genuine, std::vector<float> impostor, float& eer, float& threshold);
