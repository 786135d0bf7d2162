#include "TrainingPipeline.h"

#include "DiscriminativeTuner.h"
#include "FaceVectors.h"
#include "LightSelection.h"
#include "ModelCalibrator.h"
#include "SampleSet.h"
#include "TanTriggsSamples.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
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

SampleSet TrainingPipeline::load(const std::string& path, LightNormalisation light)
{
    return SampleSet::load(path).changed(TanTriggsSamples::preparationFor(light));
}

SampleSet TrainingPipeline::load(const std::string& path) const
{
    return load(path, options.light);
}

RowMatrix TrainingPipeline::trainingVectors() const
{
    SampleSet all;
    for (const auto& file : options.trainFiles)
        all.append(load(file));
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

float TrainingPipeline::choiceScore(const GrbmParameters& model, const ModelCalibrator& calibrator,
                                    const LightSelection* light, float& calibrationEer) const
{
    const auto figures = calibrator.measure(VerificationBench::modelMap(model));
    printFigures("", figures);
    calibrationEer = figures.eer;
    if (!light)
        return figures.eer;
    const auto lit = light->measure(VerificationBench::modelMap(model));
    const float score = (figures.eer + lit.relitEer + lit.lightEer) / 3.0f;
    std::printf("  %-28s EER %5.1f %%  (photographs relit %5.1f %%, under many lights %5.1f %%; mean %5.1f %%)\n", "",
                100.0 * figures.eer, 100.0 * lit.relitEer, 100.0 * lit.lightEer, 100.0 * score);
    return score;
}

GrbmParameters TrainingPipeline::tune(const GrbmParameters& model, const RowMatrix& cohort,
                                      const ModelCalibrator& calibrator, float eer) const
{
    const auto start = std::chrono::steady_clock::now();
    TuningOptions tuning;
    tuning.learningRate = options.tuneLearningRate;
    tuning.seed = options.rbm.seed;
    tuning.augmentShare = options.augmentShare;
    tuning.lightPeoplePerBatch = options.lightPeoplePerBatch;
    // A change of light comes first, the normalisation after it.
    tuning.prepare = TanTriggsSamples::preparationFor(options.light);
    const SampleSet lightPeople =
        options.tuneLightFile.empty() ? SampleSet() : SampleSet::load(options.tuneLightFile);
    DiscriminativeTuner tuner(SampleSet::load(options.tuneFile), cohort, model, tuning, lightPeople);
    std::unique_ptr<LightSelection> light;
    // Without a limit every epoch may be kept.
    float eerLimit = 1.0f;
    if (!options.selectLightFile.empty()) {
        light = std::make_unique<LightSelection>(SampleSet::load(options.calibrationPhotos),
                                                 SampleSet::load(options.selectLightFile), cohort, options.rbm.seed,
                                                 tuning.prepare);
        std::printf("before fine-tuning:\n");
        float startEer = 0.0f;
        eer = choiceScore(model, calibrator, light.get(), startEer);
        if (options.maxEerRise >= 0.0f)
            eerLimit = startEer + options.maxEerRise;
    }
    std::printf("fine-tuning on %d identity-labelled people (%d under many lights), %.0f %% of probes changed:\n",
                tuner.personCount(), tuner.lightPersonCount(), 100.0 * options.augmentShare);
    GrbmParameters best = model;
    int bestEpoch = 0;
    for (int epoch = 1; epoch <= options.tuneEpochs; ++epoch) {
        const float loss = tuner.trainEpoch();
        std::printf("tune epoch %d/%d loss %.4f", epoch, options.tuneEpochs, static_cast<double>(loss));
        float calibrationEer = 0.0f;
        const float score = choiceScore(tuner.parameters(), calibrator, light.get(), calibrationEer);
        std::fflush(stdout);
        if (score < eer && calibrationEer <= eerLimit) {
            eer = score;
            best = tuner.parameters();
            bestEpoch = epoch;
        }
    }
    std::printf("fine-tuning: %.1f s; kept epoch %d (%s %.1f %%)\n", secondsSince(start), bestEpoch,
                light ? "mean calibration EER" : "calibration EER", 100.0 * eer);
    return best;
}

RowMatrix TrainingPipeline::readCohort(const std::string& root, LightNormalisation light)
{
    const RowMatrix cohort = FaceVectors::cohort(root, light);
    if (cohort.rows() == 0)
        throw std::runtime_error("no foreign faces under " + root + "foreignfaces/ to calibrate against");
    std::printf("cohort: %d foreign faces\n", static_cast<int>(cohort.rows()));
    return cohort;
}

TrainingPipeline::CalibratedModel TrainingPipeline::calibrate(GrbmParameters model, const ModelCalibrator& calibrator,
                                                             float targetImpostorShare, LightNormalisation light)
{
    CalibratedModel result;
    result.light = light;
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
    if (!options.startModel.empty())
        return tuneFrom(GrbmParameters::load(options.startModel), start);
    const GrbmParameters trained = trainRbm(trainingVectors());
    const RowMatrix cohort = readCohort(options.foreignRoot, options.light);
    const ModelCalibrator calibrator(load(options.calibrationSequences), load(options.calibrationPhotos), cohort,
                                     options.rbm.seed);
    std::printf("calibration people, the matcher's rule:\n");
    printFigures("raw face vectors", calibrator.measure(VerificationBench::rawMap()));
    float eer = 0.0f;
    GrbmParameters best = chooseBias(trained, calibrator, eer);
    if (!options.tuneFile.empty() && options.tuneEpochs > 0)
        best = tune(best, cohort, calibrator, eer);
    CalibratedModel result = calibrate(best, calibrator, options.targetImpostorShare, options.light);
    std::printf("total time %.1f s\n", secondsSince(start));
    return result;
}

TrainingPipeline::CalibratedModel TrainingPipeline::tuneFrom(const GrbmParameters& model,
                                                            std::chrono::steady_clock::time_point start) const
{
    const RowMatrix cohort = readCohort(options.foreignRoot, options.light);
    const ModelCalibrator calibrator(load(options.calibrationSequences), load(options.calibrationPhotos), cohort,
                                     options.rbm.seed);
    std::printf("fine-tuning %s further\n", options.startModel.c_str());
    const float eer = calibrator.measure(VerificationBench::modelMap(model)).eer;
    CalibratedModel result = calibrate(tune(model, cohort, calibrator, eer), calibrator, options.targetImpostorShare,
                                       options.light);
    std::printf("total time %.1f s\n", secondsSince(start));
    return result;
}
