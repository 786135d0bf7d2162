#pragma once

#include "GrbmParameters.h"
#include "SampleSet.h"

#include <random>
#include <vector>

// How DiscriminativeTuner tunes.
struct TuningOptions
{
    int personsPerBatch = 64;
    float learningRate = 1e-4f;  // Adam step
    // Sharpness of the ranking loss on log distances.
    float sharpness = 5.0f;
    unsigned seed = 1;
    // Share of probes given a random change of light and camera (LightAugment) before they
    // become face vectors; 0 keeps every probe as cut.
    float augmentShare = 0.0f;
    // People photographed under many lights (the lightPeople of the constructor) put into every
    // batch, so that the few of them are seen as often as the many others.
    int lightPeoplePerBatch = 8;
    // A change made to every sample (after the probe's random change) before it becomes a face
    // vector, such as the light normalisation the model is trained for; none when empty.
    SampleSet::Change prepare;
};

// Fine-tunes the weights and hidden biases of a model on identity-labelled people against the
// matcher's own verification rule. Each step takes a batch of people; each is enrolled from
// the samples of one of its photographs and their mirror images (the template), with quality
// weights |mean| / spread of its own features, and probed with a plain sample of another of
// its photographs. As the matcher scales each template's distances by its cohort of foreign
// faces, every distance is divided by the template's cohort statistic (the distance of the
// cohort face at the rule's quantile) before ranking. The loss ranks every normalised genuine
// distance below every normalised impostor distance of the batch (softplus of the sharpened
// log-distance difference), across templates, because one fixed threshold serves every owner.
// Visible sigmas and biases stay as they are. Light and camera changes are learnt from two
// sources: people photographed under many lights (each crop a photograph), a few of them in
// every batch, and probes given a random one-sided light, gamma, blur and small movement;
// such a probe is at times the enrolment photograph itself, so that the only thing between it
// and its template is the change.
class DiscriminativeTuner
{
public:
    // Requires: samples carry persons and sources (facedata-prep samples with --copies);
    //           cohort holds face vectors of foreign faces (no rows: plain distances);
    //           lightPeople, if any, are laid out as samples and named apart from them.
    DiscriminativeTuner(const SampleSet& samples, const RowMatrix& cohort, GrbmParameters model,
                        const TuningOptions& options, const SampleSet& lightPeople = SampleSet());

    // One pass over the people with at least two photographs, in shuffled batches.
    // Ensures: returns the mean loss of the pass.
    float trainEpoch();

    // The ranking loss of one batch of people (indices below personCount()) and its gradient
    // with respect to the weights and hidden biases; `episodeSeed` picks each person's
    // enrolment and probe photographs. Does not change the model.
    float lossAndGradient(const std::vector<int>& batch, unsigned episodeSeed, RowMatrix& gradW,
                          Eigen::VectorXf& gradB) const;

    // The distances the loss ranks, before the cohort division: each probe's to the nearest
    // vector of the template, under the template's quality weights (both given as face
    // vectors divided by the model's sigma).
    static Eigen::VectorXf ruleDistances(const RowMatrix& scaledTemplate, const RowMatrix& scaledProbes,
                                         const GrbmParameters& model);

    const GrbmParameters& parameters() const { return params; }
    // For checks: replaces the parameters being tuned (same shape).
    void setParameters(const GrbmParameters& model) { params = model; }
    int personCount() const { return static_cast<int>(people.size()); }
    int lightPersonCount() const { return static_cast<int>(lightPeople.size()); }

private:
    struct Person
    {
        std::vector<std::vector<int>> photos; // samples of each photograph, plain sample first
    };
    struct Episode
    {
        RowMatrix templ;  // scaled template vectors (x = v / sigma)
        int probe = -1;   // row of the batch's probe matrix
    };

    Episode makeEpisode(const Person& person, int probeRow, RowMatrix& probes, std::mt19937& episodeRandom) const;
    Eigen::RowVectorXf augmentedProbe(int sample, std::mt19937& episodeRandom) const;
    std::vector<std::vector<int>> batches();
    void adamStep(const RowMatrix& gradW, const Eigen::VectorXf& gradB);

    RowMatrix scaledVectors;   // face vectors divided by sigma
    RowMatrix scaledMirrored;
    RowMatrix scaledCohort;
    SampleSet allSamples;      // kept for the probes' random changes
    Eigen::VectorXf inverseSigma;
    std::vector<Person> people;      // indices below people.size() ...
    std::vector<int> lightPeople;    // ... of which these were photographed under many lights
    GrbmParameters params;
    TuningOptions options;
    std::mt19937 random;
    RowMatrix momentW, velocityW;
    Eigen::VectorXf momentB, velocityB;
    int steps = 0;
};
