// grbm-train: trains, calibrates and checks the Gaussian RBM feature model of Visagio.

#include "CommandLine.h"
#include "DemoReplay.h"
#include "FaceVectors.h"
#include "GrbmParameters.h"
#include "LightSelection.h"
#include "ModelCalibration.h"
#include "ModelCalibrator.h"
#include "SampleCutter.h"
#include "SampleSet.h"
#include "TanTriggsSamples.h"
#include "ToolMain.h"
#include "TrainingPipeline.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>

namespace {

const char* const kUsage = R"(usage: grbm-train MODE [options]

Modes:
  train --train FILE[,FILE...] --calibration-sequences FILE --calibration-photos FILE --out MODEL
        Trains a Gaussian-Bernoulli RBM (one visible unit a pixel with its own sigma) on the
        face vectors of the sample files (made by facedata-prep samples) and their mirror
        images, with one-step contrastive divergence from the principal components; chooses
        the hidden bias by the equal error rate on the calibration people under the matcher's
        own rule; scales the model so that the fixed threshold accepts --target-far of the
        impostor comparisons; writes the model file (1575 visible, 200 hidden: 1,273,408 bytes).
        --seed N (1)  --hidden N (200)  --epochs N (10)  --batch N (100)
        --learning-rate X (0.001)  --momentum X (0.9)  --weight-decay X (0.0002)
        --random-init              small random weights instead of principal components
        --biases LIST              hidden bias candidates, "keep" for the trained ones
                                   (default keep,0,3,10,30)
        --target-far X             impostor share accepted at the threshold (0.01)
        --tune FILE                identity-labelled samples (facedata-prep samples --set
                                   lfw-2to9 --copies 4) for fine-tuning weights and hidden
                                   biases against the matcher's rule; the epoch with the best
                                   calibration EER is kept
        --tune-epochs N (0)  --tune-rate X (0.0001, Adam step)
        --tune-light FILE          people photographed under many lights (facedata-prep
                                   samples --set yaleb-tune), a few in every tuning batch
        --light-per-batch N (8)    how many of them
        --augment X (0)            share of tuning probes given a random one-sided light,
                                   gamma, blur and small movement
        --select-light FILE        people under many lights (--set yaleb-select): the epoch
                                   kept is the one with the lowest mean of the calibration
                                   EER, the EER of the calibration photographs relit from one
                                   side and the EER of these people
        --max-eer-rise X           with --select-light: never keep an epoch whose calibration EER
                                   is more than X above the untuned model's (no limit)
        --start MODEL              fine-tune this model further instead of training one (no
                                   contrastive divergence, no hidden bias choice; --train unused)
        --tan-triggs               every sample (training, tuning, calibration, cohort) Tan-Triggs
                                   normalised first, as the matcher then normalises them (the
                                   calibration file says so); the relit and Yale B choosing
                                   samples after their light
        --foreign DIR              run directory whose foreignfaces/ is the cohort (run)
  calibrate --model MODEL --calibration-sequences FILE --calibration-photos FILE --out MODEL
        Calibrates an existing model as train does (--target-far, --foreign, --seed), with the
        light normalisation its calibration file names (or --tan-triggs).
  evaluate --model MODEL --photos FILE [--sequences FILE] [--select-light FILE]
        Equal error rates of the model and of raw face vectors under the matcher's rule, and
        the acceptance of the model's fixed threshold (with MODEL.calibration and the light
        normalisation it names; --foreign); with --select-light also the EERs under light that
        train chooses by; with --tan-triggs the raw face vectors' EERs after the Tan-Triggs
        light normalisation of every sample and of the cohort beside them.
  check --model MODEL --demo DIR
        Replays a demo folder (facedata-prep demo) as the window would: enrols the first 100
        face frames of owner-enrol.avi (--seed: which of them are mirrored, as the window's
        start time chooses), then verifies each video; prints face ticks, ticks
        accepted as the owner and the face tick at which the lock opens (with
        MODEL.calibration, its light normalisation and the cohort of --foreign).
  --help   this text
)";


// The run directory whose foreignfaces/ is the cohort, as a prefix ending in a separator.
std::string foreignRoot(const CommandLine& line)
{
    const std::string root = line.text("foreign", "run");
    return root.empty() || root.back() == '/' ? root : root + "/";
}

void save(const TrainingPipeline::CalibratedModel& calibrated, const std::string& out)
{
    if (!std::filesystem::path(out).parent_path().empty())
        std::filesystem::create_directories(std::filesystem::path(out).parent_path());
    calibrated.model.save(out);
    ModelCalibration calibration;
    calibration.cohortTarget = calibrated.cohortTarget;
    calibration.lightNormalisation = calibrated.light;
    calibration.write(ModelCalibration::pathFor(out));
    std::printf("model written: %s (%ju bytes) and %s\n", out.c_str(),
                static_cast<uintmax_t>(std::filesystem::file_size(out)), ModelCalibration::pathFor(out).c_str());
}

std::vector<float> biasCandidates(const CommandLine& line)
{
    std::vector<std::string> items = line.list("biases");
    if (items.empty())
        items = {"keep", "0", "3", "10", "30"};
    std::vector<float> biases;
    for (const auto& item : items)
        biases.push_back(item == "keep" ? std::numeric_limits<float>::quiet_NaN() : std::stof(item));
    return biases;
}

void runTrain(const CommandLine& line)
{
    TrainingPipeline::Options options;
    options.trainFiles = line.list("train");
    if (options.trainFiles.empty())
        throw std::invalid_argument("--train is required");
    options.calibrationSequences = line.required("calibration-sequences");
    options.calibrationPhotos = line.required("calibration-photos");
    options.rbm.seed = static_cast<unsigned>(line.number("seed", 1));
    options.rbm.hiddenCount = static_cast<int>(line.number("hidden", 200));
    options.rbm.epochs = static_cast<int>(line.number("epochs", 10));
    options.rbm.batchSize = static_cast<int>(line.number("batch", 100));
    options.rbm.learningRate = static_cast<float>(line.number("learning-rate", 0.001));
    options.rbm.momentum = static_cast<float>(line.number("momentum", 0.9));
    options.rbm.weightDecay = static_cast<float>(line.number("weight-decay", 0.0002));
    options.rbm.principalInit = !line.has("random-init");
    options.biasCandidates = biasCandidates(line);
    options.targetImpostorShare = static_cast<float>(line.number("target-far", 0.01));
    options.tuneFile = line.text("tune");
    options.tuneEpochs = static_cast<int>(line.number("tune-epochs", 0));
    options.tuneLearningRate = static_cast<float>(line.number("tune-rate", 1e-4));
    options.tuneLightFile = line.text("tune-light");
    options.lightPeoplePerBatch = static_cast<int>(line.number("light-per-batch", 8));
    options.augmentShare = static_cast<float>(line.number("augment", 0.0));
    options.selectLightFile = line.text("select-light");
    options.light = line.has("tan-triggs") ? LightNormalisation::TanTriggs : LightNormalisation::None;
    options.maxEerRise = static_cast<float>(line.number("max-eer-rise", -1.0));
    options.startModel = line.text("start");
    options.foreignRoot = foreignRoot(line);
    const std::string out = line.required("out");
    save(TrainingPipeline(options).run(), out);
}

// The light normalisation a model expects: its calibration file's, or --tan-triggs.
LightNormalisation lightOf(const CommandLine& line, const std::string& modelPath)
{
    if (line.has("tan-triggs"))
        return LightNormalisation::TanTriggs;
    return ModelCalibration::read(ModelCalibration::pathFor(modelPath)).lightNormalisation;
}

void runCalibrate(const CommandLine& line)
{
    const std::string out = line.required("out");
    const std::string modelPath = line.required("model");
    const GrbmParameters model = GrbmParameters::load(modelPath);
    const LightNormalisation light = lightOf(line, modelPath);
    const ModelCalibrator calibrator(TrainingPipeline::load(line.required("calibration-sequences"), light),
                                     TrainingPipeline::load(line.required("calibration-photos"), light),
                                     TrainingPipeline::readCohort(foreignRoot(line), light),
                                     static_cast<unsigned>(line.number("seed", 1)));
    save(TrainingPipeline::calibrate(model, calibrator, static_cast<float>(line.number("target-far", 0.01)), light),
         out);
}

// Raw face vectors under the matcher's rule with every sample Tan-Triggs normalised.
void printTanTriggs(const SampleSet& sequences, const SampleSet& photos, const SampleSet& lightPeople,
                    const std::string& foreignRoot)
{
    const RowMatrix normalisedCohort = TrainingPipeline::readCohort(foreignRoot, LightNormalisation::TanTriggs);
    const ModelCalibrator calibrator(sequences.changed(TanTriggsSamples::normalisedSample),
                                     photos.changed(TanTriggsSamples::normalisedSample), normalisedCohort);
    const auto f = calibrator.measure(VerificationBench::rawMap());
    const LightSelection light(photos, lightPeople, normalisedCohort, 1, TanTriggsSamples::normalisedSample);
    const auto l = light.measure(VerificationBench::rawMap());
    std::printf("raw, Tan-Triggs   EER %5.2f %%  (sequences %5.2f %%, photographs %5.2f %%); photographs relit %5.2f %%, "
                "under many lights %5.2f %%\n",
                100.0 * f.eer, 100.0 * f.sequenceEer, 100.0 * f.photoEer, 100.0 * l.relitEer, 100.0 * l.lightEer);
}

void runEvaluate(const CommandLine& line)
{
    const std::string modelPath = line.required("model");
    const GrbmParameters model = GrbmParameters::load(modelPath);
    const ModelCalibration calibration = ModelCalibration::read(ModelCalibration::pathFor(modelPath));
    const LightNormalisation modelLight = calibration.lightNormalisation;
    const std::string sequencesFile = line.text("sequences");
    const SampleSet sequences = sequencesFile.empty() ? SampleSet() : SampleSet::load(sequencesFile);
    const SampleSet photos = SampleSet::load(line.required("photos"));
    // The samples and the cohort as the matcher makes them for this model.
    const SampleSet::Change prepare = TanTriggsSamples::preparationFor(modelLight);
    const SampleSet modelSequences = sequences.changed(prepare);
    const SampleSet modelPhotos = photos.changed(prepare);
    const RowMatrix cohort = TrainingPipeline::readCohort(foreignRoot(line), modelLight);
    const ModelCalibrator calibrator(modelSequences, modelPhotos, cohort);
    for (const bool raw : {true, false}) {
        const auto f = calibrator.measure(raw ? VerificationBench::rawMap() : VerificationBench::modelMap(model));
        std::printf("%-18s EER %5.1f %%  (sequences %5.1f %%, photographs %5.1f %%)\n", raw ? "raw face vectors" : "model",
                    100.0 * f.eer, 100.0 * f.sequenceEer, 100.0 * f.photoEer);
    }
    if (line.has("select-light")) {
        const SampleSet lightPeople = SampleSet::load(line.text("select-light"));
        const LightSelection light(photos, lightPeople, cohort, 1, prepare);
        for (const bool raw : {true, false}) {
            const auto f = light.measure(raw ? VerificationBench::rawMap() : VerificationBench::modelMap(model));
            std::printf("%-18s EER photographs relit %5.2f %%, under many lights %5.2f %%\n",
                        raw ? "raw face vectors" : "model", 100.0 * f.relitEer, 100.0 * f.lightEer);
        }
        if (line.has("tan-triggs"))
            printTanTriggs(sequences, photos, lightPeople, foreignRoot(line));
    }
    if (!calibration.cohortTarget)
        throw std::runtime_error("the model has no calibration file: " + ModelCalibration::pathFor(modelPath));
    // The threshold's strictness should not depend on how many photographs the owner enrolled.
    for (const int enrolPhotographs : {1, 3, 10}) {
        const ModelCalibrator enrolled(modelSequences, modelPhotos, cohort, 1, enrolPhotographs);
        float sg = 0, si = 0, pg = 0, pi = 0;
        enrolled.acceptance(model, *calibration.cohortTarget, sg, si, pg, pi);
        std::printf("fixed threshold: sequences genuine %.1f %% impostor %.2f %%; photographs (enrolled from %d) "
                    "genuine %.1f %% impostor %.2f %%\n",
                    100.0 * sg, 100.0 * si, enrolPhotographs, 100.0 * pg, 100.0 * pi);
    }
}

void runCheck(const CommandLine& line)
{
    const std::string modelPath = line.required("model");
    const GrbmParameters model = GrbmParameters::load(modelPath);
    const ModelCalibration calibration = ModelCalibration::read(ModelCalibration::pathFor(modelPath));
    const LightNormalisation light = calibration.lightNormalisation;
    const auto rows = DemoReplay::run(VerificationBench::modelMap(model), FaceVectors::cohort(foreignRoot(line), light),
                                      calibration.cohortTarget, light, line.required("demo"),
                                      line.text("cascade", SampleCutter::defaultFaceCascade()),
                                      SampleCutter::defaultEyeCascade(),
                                      static_cast<unsigned>(line.number("seed", 1)));
    std::printf("%-40s %6s %6s %8s %9s %8s %8s %9s\n", "video", "faces", "owner", "owner %", "lock tick", "min d",
                "median d", "max conf");
    for (const auto& row : rows) {
        const auto& r = row.result;
        std::printf("%-40s %6d %6d %7.1f%% %9d %8.1f %8.1f %9.3f\n", row.video.c_str(), r.faceTicks, r.ownerTicks,
                    r.faceTicks > 0 ? 100.0 * r.ownerTicks / r.faceTicks : 0.0, r.lockFaceTick,
                    static_cast<double>(r.minDistance), static_cast<double>(r.medianDistance),
                    static_cast<double>(r.maxConfidence));
    }
}

int run(int argc, char** argv)
{
    const CommandLine line(argc, argv, {"help", "random-init", "tan-triggs"});
    if (line.has("help") || line.words().empty()) {
        std::fputs(kUsage, line.has("help") ? stdout : stderr);
        return line.has("help") ? 0 : 2;
    }
    line.allowOnly({"help", "random-init", "train", "calibration-sequences", "calibration-photos", "out", "seed",
                    "hidden", "epochs", "batch", "tune", "tune-epochs", "tune-rate", "tune-light", "light-per-batch",
                    "augment", "select-light", "tan-triggs", "learning-rate", "momentum", "weight-decay", "biases",
                    "target-far", "max-eer-rise", "start",
                    "model", "sequences", "photos", "demo", "cascade", "foreign"});
    const std::string mode = line.words().front();
    if (mode == "train")
        runTrain(line);
    else if (mode == "calibrate")
        runCalibrate(line);
    else if (mode == "evaluate")
        runEvaluate(line);
    else if (mode == "check")
        runCheck(line);
    else
        throw std::invalid_argument("unknown mode: " + mode + " (see --help)");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return runTool("grbm-train", [&] { return run(argc, argv); });
}
