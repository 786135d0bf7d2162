#pragma once

#include "GrbmParameters.h"

#include <random>

// How GrbmTrainer trains.
struct GrbmTrainingOptions
{
    int hiddenCount = 200;
    int epochs = 10;
    int batchSize = 100;
    float learningRate = 1e-3f;
    float momentum = 0.9f;
    float weightDecay = 2e-4f;
    // Start from the principal components of the training faces (whitened) instead of small
    // random weights.
    bool principalInit = true;
    unsigned seed = 1;
};

// Trains a Gaussian-Bernoulli RBM (real visible units with their own sigma, binary hidden
// units) on face vectors with one-step contrastive divergence, mini-batches, momentum and
// weight decay. Visible sigmas are the per-pixel spreads of the training faces and stay fixed.
// Deterministic: the same data, options and seed give bit-identical parameters.
class GrbmTrainer
{
public:
    // Requires: data has at least one row (one face vector a row).
    GrbmTrainer(RowMatrix data, const GrbmTrainingOptions& options);

    // Ensures: sigmas, visible bias and starting weights set; hidden biases centre every
    // hidden input on the training faces.
    void initialise();
    // One pass of CD-1 over the data in a shuffled order.
    // Ensures: returns the mean squared reconstruction error per visible unit (mean field).
    float trainEpoch();
    // The mean squared reconstruction error per visible unit over all data (mean field).
    float reconstructionError() const;

    const GrbmParameters& parameters() const { return params; }

private:
    void initialisePrincipal();
    void initialiseRandom();
    float trainBatch(const RowMatrix& batch);
    void clearDeadPixels();

    RowMatrix data;
    GrbmTrainingOptions options;
    GrbmParameters params;
    RowMatrix weightVelocity;
    Eigen::VectorXf visibleVelocity;
    Eigen::VectorXf hiddenVelocity;
    Eigen::VectorXf livePixels;
    std::mt19937 random;
};
