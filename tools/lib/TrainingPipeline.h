#pragma once

#include "GrbmParameters.h"
#include "GrbmTrainer.h"

#include <string>
#include <vector>

// What grbm-train does, step by step: read the training samples, train the RBM with
// contrastive divergence (from principal components), optionally fine-tune it on
// identity-labelled people, choose the hidden bias by the equal error rate on the calibration
// people, and scale the model so that the matcher's fixed threshold accepts the target share
// of impostor comparisons of video-like enrolments. Progress and figures go to stdout.
class TrainingPipeline
{
public:
    struct Options
    {
        std::vector<std::string> trainFiles;   // sample files for contrastive divergence
        std::string tuneFile;                  // identity-labelled samples for fine-tuning
        std::string calibrationSequences;      // sample file of frame-sequence people
        std::string calibrationPhotos;         // sample file of photographed people
        GrbmTrainingOptions rbm;
        int tuneEpochs = 0;
        float tuneLearningRate = 1e-4f;
        // Hidden bias candidates: a constant for every unit; NaN keeps the trained biases.
        std::vector<float> biasCandidates;
        float targetImpostorShare = 0.01f;
    };

    explicit TrainingPipeline(Options options);

    // Ensures: returns the calibrated model.
    // Throws: std::runtime_error on unreadable sample files.
    GrbmParameters run();

private:
    RowMatrix trainingVectors() const;
    GrbmParameters trainRbm(const RowMatrix& vectors) const;
    GrbmParameters chooseBias(const GrbmParameters& model, const class ModelCalibrator& calibrator,
                              float& eer) const;
    GrbmParameters tune(const GrbmParameters& model, const class ModelCalibrator& calibrator, float eer) const;

    Options options;
};
