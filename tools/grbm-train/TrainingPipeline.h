#pragma once

#include "GrbmParameters.h"
#include "GrbmTrainer.h"
#include "LightNormalisation.h"
#include "SampleSet.h"

#include <chrono>
#include <string>
#include <vector>

// What grbm-train does, step by step: read the training samples, train the RBM with
// contrastive divergence (from principal components), optionally fine-tune it on
// identity-labelled people, choose the hidden bias by the equal error rate on the calibration
// people, and calibrate the model's cohort target so that the matcher's fixed threshold accepts
// the target share of impostor comparisons. Progress and figures go to stdout.
class TrainingPipeline
{
public:
    struct CalibratedModel
    {
        GrbmParameters model;
        float cohortTarget = 0.0f;
        LightNormalisation light = LightNormalisation::None; // what the model's samples went through
    };

    struct Options
    {
        std::vector<std::string> trainFiles;   // sample files for contrastive divergence
        std::string tuneFile;                  // identity-labelled samples for fine-tuning
        std::string calibrationSequences;      // sample file of frame-sequence people
        std::string calibrationPhotos;         // sample file of photographed people
        GrbmTrainingOptions rbm;
        int tuneEpochs = 0;
        float tuneLearningRate = 1e-4f;
        std::string tuneLightFile;             // people under many lights, fine-tuned with the others
        float augmentShare = 0.0f;             // share of fine-tuning probes changed (LightAugment)
        int lightPeoplePerBatch = 8;
        // People under many lights for choosing the epoch: when given, the epoch kept is the
        // one with the lowest mean of the calibration EER, the EER of the calibration
        // photographs relit and the EER of these people (LightSelection).
        std::string selectLightFile;
        // How every sample and the cohort are normalised before use, as the matcher will
        // normalise them for this model (TanTriggsSamples).
        LightNormalisation light = LightNormalisation::None;
        // With selectLightFile: an epoch whose calibration EER is more than this above the
        // untuned model's is never kept (negative: no limit).
        float maxEerRise = -1.0f;
        // A model to fine-tune further instead of training one (no contrastive divergence, no
        // choice of the hidden bias).
        std::string startModel;
        // Hidden bias candidates: a constant for every unit; NaN keeps the trained biases.
        std::vector<float> biasCandidates;
        float targetImpostorShare = 0.01f;
        std::string foreignRoot;               // run directory holding foreignfaces/ (the cohort)
    };

    explicit TrainingPipeline(Options options);

    // Ensures: returns the calibrated model.
    // Throws: std::runtime_error on unreadable sample files or an empty cohort.
    CalibratedModel run();

    // The cohort target of `model` for the impostor share, and the model scaled so that it is
    // strict without its calibration file; prints the acceptance at the threshold.
    static CalibratedModel calibrate(GrbmParameters model, const class ModelCalibrator& calibrator,
                                     float targetImpostorShare, LightNormalisation light);
    // The cohort of the run directory `root`, made as the matcher makes it for a model with
    // `light`. Throws: std::runtime_error when it is empty.
    static RowMatrix readCohort(const std::string& root, LightNormalisation light);
    // A sample file, normalised as `light` says.
    static SampleSet load(const std::string& path, LightNormalisation light);

private:
    RowMatrix trainingVectors() const;
    SampleSet load(const std::string& path) const;
    GrbmParameters trainRbm(const RowMatrix& vectors) const;
    GrbmParameters chooseBias(const GrbmParameters& model, const class ModelCalibrator& calibrator,
                              float& eer) const;
    GrbmParameters tune(const GrbmParameters& model, const RowMatrix& cohort, const class ModelCalibrator& calibrator,
                        float eer) const;
    // The score an epoch is chosen by (lower is better), printed.
    float choiceScore(const GrbmParameters& model, const class ModelCalibrator& calibrator,
                      const class LightSelection* light, float& calibrationEer) const;
    CalibratedModel tuneFrom(const GrbmParameters& model, std::chrono::steady_clock::time_point start) const;

    Options options;
};
