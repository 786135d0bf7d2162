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
// Visible sigmas and biases stay as they are.
class DiscriminativeTuner
{
public:
    // Requires: samples carry persons and sources (facedata-prep samples with --copies);
    //           cohort holds face vectors of foreign faces (no rows: plain distances).
    DiscriminativeTuner(const SampleSet& samples, const RowMatrix& cohort, GrbmParameters model,
                        const TuningOptions& options);

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
    void adamStep(const RowMatrix& gradW, const Eigen::VectorXf& gradB);

    RowMatrix scaledVectors;   // face vectors divided by sigma
    RowMatrix scaledMirrored;
    RowMatrix scaledCohort;
    std::vector<Person> people;
    GrbmParameters params;
    TuningOptions options;
    std::mt19937 random;
    RowMatrix momentW, velocityW;
    Eigen::VectorXf momentB, velocityB;
    int steps = 0;
};
