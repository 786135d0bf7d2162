// The feature-model trainer of the tools: contrastive divergence, the written model file,
// reproducibility, discriminative tuning, calibration against the matcher's own rule, and the
// whole training pipeline ending in a model the matcher loads.
#include "DiscriminativeTuner.h"
#include "FaceMatcher.h"
#include "FaceGeometry.h"
#include "FaceVector.h"
#include "FaceVectors.h"
#include "ModelCalibration.h"
#include "VerificationRule.h"
#include "File.h"
#include "GaussianRbm.h"
#include "GrbmParameters.h"
#include "GrbmTrainer.h"
#include "ModelCalibrator.h"
#include "RuleTemplate.h"
#include "ModelFiles.h"
#include "SampleSet.h"
#include "TanTriggsSamples.h"
#include "TestData.h"
#include "TrainingPipeline.h"
#include "WindowSimulation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

namespace {

constexpr int kWidth = kSampleWidth;
constexpr int kHeight = kSampleHeight;
constexpr int kVisible = kWidth * kHeight;
constexpr long kShippedModelBytes = 1273408;

// Smooth random grey pattern, 35 x 45, values around 128.
cv::Mat smoothPattern(std::mt19937& random, double amplitude)
{
    cv::Mat coarse(5, 4, CV_32F);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    for (int y = 0; y < coarse.rows; ++y)
        for (int x = 0; x < coarse.cols; ++x)
            coarse.at<float>(y, x) = normal(random);
    cv::Mat fine;
    cv::resize(coarse, fine, cv::Size(kWidth, kHeight), 0, 0, cv::INTER_CUBIC);
    return fine * amplitude;
}

// Light falling differently on each photograph: ramps across and down the face and three
// fixed broad shadings, of random strength.
cv::Mat lighting(std::mt19937& random, double amplitude)
{
    static const std::vector<cv::Mat> shadings = [] {
        std::mt19937 fixed(99);
        std::vector<cv::Mat> patterns;
        for (int k = 0; k < 3; ++k)
            patterns.push_back(smoothPattern(fixed, 1.0));
        cv::Mat across(kHeight, kWidth, CV_32F), down(kHeight, kWidth, CV_32F);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                across.at<float>(y, x) = (x - 17.0f) / 17.0f;
                down.at<float>(y, x) = (y - 22.0f) / 22.0f;
            }
        patterns.push_back(across);
        patterns.push_back(down);
        return patterns;
    }();
    std::normal_distribution<float> strength(0.0f, 1.0f);
    cv::Mat light = cv::Mat::zeros(kHeight, kWidth, CV_32F);
    for (const auto& shading : shadings)
        light += shading * (strength(random) * amplitude);
    return light;
}

cv::Mat toSample(const cv::Mat& pattern)
{
    cv::Mat sample;
    pattern.convertTo(sample, CV_8U, 1.0, 128.0);
    return sample;
}

// `persons` people, each with `photos` photographs (a per-photo variation on the person's
// pattern) and `copies` noisy copies of each photograph; sources number the photographs.
SampleSet syntheticPeople(int persons, int photos, int copies, unsigned seed, const std::string& prefix = "person",
                          double photoVariation = 12.0)
{
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 3.0f);
    SampleSet set;
    int source = 0;
    for (int p = 0; p < persons; ++p) {
        const cv::Mat face = smoothPattern(random, 40.0);
        for (int ph = 0; ph < photos; ++ph, ++source) {
            const cv::Mat photo = face + lighting(random, photoVariation);
            for (int c = 0; c <= copies; ++c) {
                cv::Mat noisy = photo.clone();
                for (auto it = noisy.begin<float>(); it != noisy.end<float>(); ++it)
                    *it += noise(random);
                set.add(toSample(noisy), prefix + std::to_string(p), source);
            }
        }
    }
    return set;
}

RowMatrix syntheticVectors(int rows, unsigned seed)
{
    return FaceVectors::of(syntheticPeople(rows / 4, 1, 3, seed));
}

GrbmParameters trainSmall(const RowMatrix& data, unsigned seed, bool principal, int epochs, float* before = nullptr,
                          float* after = nullptr)
{
    GrbmTrainingOptions options;
    options.hiddenCount = 16;
    options.epochs = epochs;
    options.batchSize = 20;
    options.principalInit = principal;
    options.seed = seed;
    GrbmTrainer trainer(data, options);
    trainer.initialise();
    if (before)
        *before = trainer.reconstructionError();
    for (int e = 0; e < epochs; ++e)
        trainer.trainEpoch();
    if (after)
        *after = trainer.reconstructionError();
    return trainer.parameters();
}

} // namespace

class GrbmTrainerTest : public ::testing::Test
{
protected:
    // Face vectors of 40 synthetic people, made once for the whole suite.
    static const RowMatrix& trainingData()
    {
        static const RowMatrix vectors = syntheticVectors(160, 11);
        return vectors;
    }

    const RowMatrix* data = &trainingData();
    QTemporaryDir dir;
};

TEST_F(GrbmTrainerTest, ContrastiveDivergenceLowersTheErrorAndRepeatsBySeed)
{
    for (const bool principal : {true, false}) {
        SCOPED_TRACE(principal ? "principal start" : "random start");
        float before = 0.0f;
        float after = 0.0f;
        trainSmall(*data, 3, principal, 8, &before, &after);
        EXPECT_LT(after, 0.9f * before);
        EXPECT_TRUE(std::isfinite(after));
    }
    // The same seed writes the same bytes, another seed other bytes.
    const auto written = [&](unsigned seed, const char* name) {
        trainSmall(*data, seed, true, 3).save(dir.filePath(name).toStdString());
        return readBytes(dir.filePath(name));
    };
    const QByteArray first = written(5, "first.grbm");
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(written(5, "second.grbm"), first);
    EXPECT_NE(written(6, "other.grbm"), first);
}

TEST_F(GrbmTrainerTest, SimulatedWindowAndBenchScoreAsTheMatcherDoes)
{
    // Left-right symmetric samples make the matcher's random mirroring irrelevant. A cohort of
    // foreign faces and a calibration file make the matcher scale its distances. When the
    // calibration names the Tan-Triggs light normalisation, the samples and the cohort the
    // tools normalise must give the vectors the matcher makes of the faces as cut.
    QTemporaryDir runDir;
    prepareMatcherRunDir(runDir.path(), 4);
    writeSyntheticForeignBase(runDir.path(), 60, 8);
    const std::string modelPath = matcherModelPath(runDir.path()).toStdString();
    const GrbmParameters model = GrbmParameters::load(modelPath);
    SampleSet people = syntheticPeople(2, 1, 100, 21);
    std::vector<cv::Mat> owner;
    std::vector<cv::Mat> probes;
    for (int k = 0; k < people.size(); ++k) {
        cv::Mat flipped;
        cv::flip(people.sample(k), flipped, 1);
        cv::Mat symmetric;
        cv::addWeighted(people.sample(k), 0.5, flipped, 0.5, 0.0, symmetric);
        (people.person(k) == 0 && owner.size() < 100 ? owner : probes).push_back(symmetric);
    }
    for (const LightNormalisation light : {LightNormalisation::None, LightNormalisation::TanTriggs}) {
        SCOPED_TRACE(light == LightNormalisation::None ? "as cut" : "Tan-Triggs");
        ModelCalibration calibration;
        calibration.cohortTarget = 3.5f;
        calibration.lightNormalisation = light;
        calibration.write(ModelCalibration::pathFor(modelPath));
        const auto asTrained = [&](const std::vector<cv::Mat>& samples, SampleSet& set) {
            std::vector<cv::Mat> result;
            for (const auto& sample : samples) {
                result.push_back(light == LightNormalisation::None ? sample
                                                                   : TanTriggsSamples::normalisedSample(sample));
                set.add(result.back(), "person", 0);
            }
            return result;
        };
        SampleSet ownerSet;
        SampleSet probeSet;
        const std::vector<cv::Mat> ownerSamples = asTrained(owner, ownerSet);
        const std::vector<cv::Mat> probeSamples = asTrained(probes, probeSet);
        const RowMatrix cohort = FaceVectors::cohort(runDir.path().toStdString() + "/", light);
        ASSERT_GT(cohort.rows(), 0);
        const WindowSimulation simulation(VerificationBench::modelMap(model), ownerSamples, cohort,
                                          calibration.cohortTarget);
        const std::vector<float> distances = simulation.distances(probeSamples);

        ScopedWorkingDirectory cwd(runDir.path());
        CapturedLog log;
        FaceMatcher matcher(kWidth, kHeight);
        std::vector<cv::Mat> group;
        for (const auto& sample : owner)
            group.push_back(sample.clone());
        matcher.addGroup(group);
        matcher.train();
        ASSERT_EQ(matcher.foreignCount(), std::size_t(cohort.rows()));
        for (const Eigen::Index k : {Eigen::Index(0), cohort.rows() - 1})
            EXPECT_TRUE(cohort.row(k).isApprox(
                Eigen::Map<const Eigen::RowVectorXf>(matcher.foreignVectors()[size_t(k)].data(), cohort.cols())));
        EXPECT_NE(matcher.cohortScale(), 1.0f);
        EXPECT_NEAR(simulation.score(0.0f), 3.0f, 1e-6f);

        // The bench's batched float distances, divided by the cohort statistic, agree with the
        // rule's within 0.1 %.
        const RowMatrix templ = model.features(FaceVectors::of(ownerSet));
        const RowMatrix batched = ruleDistances(templ, model.features(FaceVectors::of(probeSet)));
        const float statistic = calibration.cohortTarget.value() / matcher.cohortScale();
        for (size_t k = 0; k < probes.size(); k += 10) {
            SCOPED_TRACE(k);
            const float expected = matcher.verify(probes[k].clone());
            EXPECT_NEAR(simulation.score(distances[k]), expected, 1e-3f * expected);
            const float d = batched.row(static_cast<Eigen::Index>(k)).minCoeff();
            EXPECT_NEAR(d, distances[k], 1e-3f * distances[k]);
            EXPECT_NEAR(VerificationRule::verificationScore(d / statistic, *calibration.cohortTarget), expected,
                        1e-3f * expected);
        }
    }
}

TEST_F(GrbmTrainerTest, TunersDistancesAgreeWithTheRule)
{
    // The tuner's differentiable float form of the rule agrees with the rule within 0.1 %, also
    // for a template of identical vectors, whose features have no spread at all. The forms
    // round differently (a float mean of 20 equal values is not always the value), so such a
    // template's spreads are 0 in one and a few units in the last place in the other. With the
    // features moved up by 30, where a unit in the last place is 2-4e-6, the weights would
    // hang on that residue on every machine but for the rule's relative floor.
    const GrbmParameters trained = trainSmall(*data, 1, true, 1);
    const SampleSet people = syntheticPeople(3, 1, 20, 61);
    const RowMatrix vectors = FaceVectors::of(people);
    const RowMatrix probes = vectors.bottomRows(40);
    const Eigen::VectorXf inverseSigma = trained.visibleSigma.cwiseInverse();
    for (const float shift : {0.0f, 30.0f}) {
        GrbmParameters model = trained;
        model.hiddenBias.array() += shift;
        for (const RowMatrix& templ : {RowMatrix(vectors.topRows(20)), RowMatrix(vectors.topRows(1).replicate(20, 1))}) {
            SCOPED_TRACE(testing::Message() << "shift " << shift << ", template rows alike: " << (templ.row(0) == templ.row(1)));
            const Eigen::VectorXf tuner = DiscriminativeTuner::ruleDistances(
                templ * inverseSigma.asDiagonal(), probes * inverseSigma.asDiagonal(), model);
            const RuleTemplate rule(model.features(templ), RowMatrix(), std::nullopt);
            const RowMatrix probeFeatures = model.features(probes);
            for (Eigen::Index k = 0; k < probes.rows(); k += 3) {
                SCOPED_TRACE(k);
                const float expected = rule.distance(probeFeatures.row(k).data());
                EXPECT_NEAR(tuner[k], expected, 1e-3f * expected);
            }
        }
    }
}

TEST_F(GrbmTrainerTest, TuningGradientMatchesFiniteDifferencesAndEpochsLowerTheLoss)
{
    const SampleSet people = syntheticPeople(12, 3, 2, 41, "known", 30.0);
    GrbmParameters model = trainSmall(*data, 1, true, 1);
    model.hiddenBias.setConstant(5.0f);
    const RowMatrix cohort = FaceVectors::of(syntheticPeople(20, 1, 1, 43, "cohort", 30.0));
    DiscriminativeTuner tuner(people, cohort, model, TuningOptions());
    const std::vector<int> batch = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    RowMatrix gradW;
    Eigen::VectorXf gradB;
    tuner.lossAndGradient(batch, 7, gradW, gradB);

    // Central differences on the weights with the largest gradient and on three biases.
    auto lossWith = [&](const GrbmParameters& changed) {
        DiscriminativeTuner probe(people, cohort, changed, TuningOptions());
        RowMatrix w;
        Eigen::VectorXf b;
        return static_cast<double>(probe.lossAndGradient(batch, 7, w, b));
    };
    std::vector<std::pair<float, Eigen::Index>> largest;
    for (Eigen::Index k = 0; k < gradW.size(); ++k)
        largest.emplace_back(-std::abs(gradW.data()[k]), k);
    std::partial_sort(largest.begin(), largest.begin() + 4, largest.end());
    const double step = 1e-2 * model.weights.cwiseAbs().maxCoeff();
    for (int c = 0; c < 4; ++c) {
        const Eigen::Index k = largest[static_cast<size_t>(c)].second;
        SCOPED_TRACE(k);
        GrbmParameters up = model, down = model;
        up.weights.data()[k] += static_cast<float>(step);
        down.weights.data()[k] -= static_cast<float>(step);
        const double numeric = (lossWith(up) - lossWith(down)) / (2 * step);
        EXPECT_NEAR(numeric, gradW.data()[k], 0.1 * std::abs(numeric) + 1e-4);
    }
    for (const int j : {0, 5, 11}) {
        SCOPED_TRACE(j);
        GrbmParameters up = model, down = model;
        up.hiddenBias[j] += 0.05f;
        down.hiddenBias[j] -= 0.05f;
        const double numeric = (lossWith(up) - lossWith(down)) / 0.1;
        EXPECT_NEAR(numeric, gradB[j], 0.1 * std::abs(numeric) + 1e-4);
    }

    // Epochs over the same people lower the loss of the whole batch.
    TuningOptions options;
    options.personsPerBatch = 12;
    options.learningRate = 3e-4f;
    DiscriminativeTuner trained(people, cohort, model, options);
    EXPECT_EQ(trained.personCount(), 12);
    const float before = trained.lossAndGradient(batch, 3, gradW, gradB);
    for (int e = 0; e < 10; ++e)
        trained.trainEpoch();
    EXPECT_LT(trained.lossAndGradient(batch, 3, gradW, gradB), before);
}

TEST_F(GrbmTrainerTest, CalibrationPutsTheFixedThresholdAtTheTargetShare)
{
    const SampleSet sequences = syntheticPeople(10, 6, 3, 51, "filmed");
    const SampleSet photos = syntheticPeople(10, 5, 3, 52, "photographed");
    GrbmParameters model = trainSmall(*data, 1, true, 1);
    model.hiddenBias.setConstant(5.0f);
    const ModelCalibrator calibrator(sequences, photos, FaceVectors::of(syntheticPeople(30, 1, 1, 53, "cohort")));
    for (const float target : {0.02f, 0.1f}) {
        SCOPED_TRACE(target);
        const ModelCalibrator::Calibration calibration = calibrator.calibrate(model, target);
        const float cohortTarget = calibration.cohortTarget;
        GrbmParameters scaled = model;
        scaled.scale(calibration.alpha);
        float sg = 0, si = 0, pg = 0, pi = 0;
        calibrator.acceptance(scaled, cohortTarget, sg, si, pg, pi);
        EXPECT_NEAR(si, target, 0.01f);
        EXPECT_GT(sg, si);
    }
}

// What grbm-train does, end to end on synthetic people: sample files in, the model and its
// calibration written beside each other, and the matcher loading the pair (cohort-scaled),
// computing the trainer's features and scoring a new photograph of its owner above a
// stranger's.
TEST_F(GrbmTrainerTest, PipelineWritesAModelTheMatcherLoadsAndVerifiesWith)
{
    QTemporaryDir run;
    writeSyntheticForeignBase(run.path(), 60, 8);
    const std::string root = run.path().toStdString() + "/";
    syntheticPeople(20, 2, 1, 71).save(root + "train.samples");
    syntheticPeople(6, 4, 2, 72, "filmed").save(root + "sequences.samples");
    syntheticPeople(6, 3, 2, 73, "photographed").save(root + "photos.samples");
    TrainingPipeline::Options options;
    options.trainFiles = {root + "train.samples"};
    options.calibrationSequences = root + "sequences.samples";
    options.calibrationPhotos = root + "photos.samples";
    options.rbm.epochs = 2;
    options.rbm.batchSize = 20;
    options.biasCandidates = {std::nanf(""), 3.0f};
    options.targetImpostorShare = 0.05f;
    options.foreignRoot = root;
    const TrainingPipeline::CalibratedModel trained = TrainingPipeline(options).run();

    const QString modelPath = matcherModelPath(run.path());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(modelPath).path()));
    trained.model.save(modelPath.toStdString());
    ModelCalibration calibration;
    calibration.cohortTarget = trained.cohortTarget;
    calibration.write(ModelCalibration::pathFor(modelPath.toStdString()));
    EXPECT_EQ(QFile(modelPath).size(), kShippedModelBytes);

    ScopedWorkingDirectory cwd(run.path());
    CapturedLog log;
    FaceMatcher matcher(kWidth, kHeight);
    GaussianRbm loaded = matcher.model();
    const RowMatrix vectors = data->topRows(3);
    std::vector<std::vector<float>> rows;
    for (Eigen::Index k = 0; k < vectors.rows(); ++k)
        rows.emplace_back(vectors.row(k).data(), vectors.row(k).data() + kVisible);
    loaded.setBatch(rows);
    loaded.computeHidden();
    const RowMatrix features = trained.model.features(vectors);
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 200; j += 37)
            EXPECT_NEAR(loaded.hiddenRow(k)[std::size_t(j)], features(k, j), 1e-4f * std::abs(features(k, j)) + 1e-4f);
    const SampleSet people = syntheticPeople(2, 1, 60, 74);
    std::vector<cv::Mat> owner, stranger;
    for (int k = 0; k < people.size(); ++k)
        (people.person(k) == 0 ? owner : stranger).push_back(people.sample(k).clone());
    const cv::Mat newPhoto = owner.back();
    owner.pop_back();
    matcher.addGroup(owner);
    matcher.train();
    EXPECT_NE(matcher.cohortScale(), 1.0f);
    EXPECT_GT(matcher.verify(newPhoto), matcher.verify(stranger.front()));
}
