#include "TrainingPipeline.h"

#include "DiscriminativeTuner.h"
#include "FaceVectors.h"
#include "ModelCalibrator.h"
#include "SampleSet.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

namespace {
double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void printFigures(const char* name, const ModelCalibrator::Figures& f)
{
    std::printf("  %-28s EER %5.1f %%  (sequences %5.1f %%, photographs %5.1f %%)\n", name, 100.0 * f.eer,
                100.0 * f.sequenceEer, 100.0 * f.photoEer);
}
} // namespace

TrainingPipeline::TrainingPipeline(Options pipelineOptions) : options(std::move(pipelineOptions)) {}

RowMatrix TrainingPipeline::trainingVectors() const
{
    SampleSet all;
    for (const auto& file : options.trainFiles)
        all.append(SampleSet::load(file));
    const RowMatrix vectors = FaceVectors::of(all);
    RowMatrix both(vectors.rows() * 2, vectors.cols());
    both << vectors, FaceVectors::mirrored(vectors);
    std::printf("training faces: %d samples and their mirror images\n", all.size());
    return both;
}

GrbmParameters TrainingPipeline::trainRbm(const RowMatrix& vectors) const
{
    const auto start = std::chrono::steady_clock::now();
    GrbmTrainer trainer(vectors, options.rbm);
    trainer.initialise();
    std::printf("start (%s): reconstruction error %.4f\n",
                options.rbm.principalInit ? "principal components" : "random", trainer.reconstructionError());
    for (int epoch = 1; epoch <= options.rbm.epochs; ++epoch) {
        const float error = trainer.trainEpoch();
        std::printf("epoch %d/%d error %.4f\n", epoch, options.rbm.epochs, error);
        std::fflush(stdout);
    }
    std::printf("contrastive divergence: %.1f s, final reconstruction error %.4f\n", secondsSince(start),
                trainer.reconstructionError());
    return trainer.parameters();
}

GrbmParameters TrainingPipeline::chooseBias(const GrbmParameters& model, const ModelCalibrator& calibrator,
                                            float& eer) const
{
    GrbmParameters best = model;
    eer = std::numeric_limits<float>::max();
    for (float bias : options.biasCandidates) {
        GrbmParameters candidate = model;
        if (!std::isnan(bias))
            candidate.hiddenBias.setConstant(bias);
        const auto figures = calibrator.measure(VerificationBench::modelMap(candidate));
        char name[64];
        std::snprintf(name, sizeof name, std::isnan(bias) ? "model, trained biases" : "model, hidden bias %g",
                      static_cast<double>(bias));
        printFigures(name, figures);
        if (figures.eer < eer) {
            eer = figures.eer;
            best = candidate;
        }
    }
    return best;
}

GrbmParameters TrainingPipeline::tune(const GrbmParameters& model, const RowMatrix& cohort,
                                      const ModelCalibrator& calibrator, float eer) const
{
    const auto start = std::chrono::steady_clock::now();
    TuningOptions tuning;
    tuning.learningRate = options.tuneLearningRate;
    tuning.seed = options.rbm.seed;
    DiscriminativeTuner tuner(SampleSet::load(options.tuneFile), cohort, model, tuning);
    std::printf("fine-tuning on %d identity-labelled people:\n", tuner.personCount());
    GrbmParameters best = model;
    int bestEpoch = 0;
    for (int epoch = 1; epoch <= options.tuneEpochs; ++epoch) {
        const float loss = tuner.trainEpoch();
        const auto figures = calibrator.measure(VerificationBench::modelMap(tuner.parameters()));
        std::printf("tune epoch %d/%d loss %.4f", epoch, options.tuneEpochs, static_cast<double>(loss));
        printFigures("", figures);
        std::fflush(stdout);
        if (figures.eer < eer) {
            eer = figures.eer;
            best = tuner.parameters();
            bestEpoch = epoch;
        }
    }
    std::printf("fine-tuning: %.1f s; kept epoch %d (calibration EER %.1f %%)\n", secondsSince(start), bestEpoch,
                100.0 * eer);
    return best;
}

RowMatrix TrainingPipeline::readCohort(const std::string& root)
{
    const RowMatrix cohort = FaceVectors::cohort(root);
    if (cohort.rows() == 0)
        throw std::runtime_error("no foreign faces under " + root + "foreignfaces/ to calibrate against");
    std::printf("cohort: %d foreign faces\n", static_cast<int>(cohort.rows()));
    return cohort;
}

TrainingPipeline::CalibratedModel TrainingPipeline::calibrate(GrbmParameters model, const ModelCalibrator& calibrator,
                                                             float targetImpostorShare)
{
    CalibratedModel result;
    const ModelCalibrator::Calibration calibration = calibrator.calibrate(model, targetImpostorShare);
    result.cohortTarget = calibration.cohortTarget;
    const float alpha = calibration.alpha;
    model.scale(alpha);
    result.model = std::move(model);
    float seqGenuine = 0, seqImpostor = 0, photoGenuine = 0, photoImpostor = 0;
    calibrator.acceptance(result.model, result.cohortTarget, seqGenuine, seqImpostor, photoGenuine, photoImpostor);
    std::printf("cohort target %.6g, model scaled by %.6g: at a scaled distance of %.3f the matcher accepts %.2f %% "
                "of impostor and %.1f %% of genuine comparisons of sequence enrolments (photographs: %.2f %% and "
                "%.1f %%)\n",
                static_cast<double>(result.cohortTarget), static_cast<double>(alpha),
                static_cast<double>(ModelCalibrator::kDistanceThreshold), 100.0 * seqImpostor, 100.0 * seqGenuine,
                100.0 * photoImpostor, 100.0 * photoGenuine);
    return result;
}

TrainingPipeline::CalibratedModel TrainingPipeline::run()
{
    const auto start = std::chrono::steady_clock::now();
    const GrbmParameters trained = trainRbm(trainingVectors());
    const RowMatrix cohort = readCohort(options.foreignRoot);
    const ModelCalibrator calibrator(SampleSet::load(options.calibrationSequences),
                                     SampleSet::load(options.calibrationPhotos), cohort, options.rbm.seed);
    std::printf("calibration people, the matcher's rule:\n");
    printFigures("raw face vectors", calibrator.measure(VerificationBench::rawMap()));
    float eer = 0.0f;
    GrbmParameters best = chooseBias(trained, calibrator, eer);
    if (!options.tuneFile.empty() && options.tuneEpochs > 0)
        best = tune(best, cohort, calibrator, eer);
    CalibratedModel result = calibrate(best, calibrator, options.targetImpostorShare);
    std::printf("total time %.1f s\n", secondsSince(start));
    return result;
}
