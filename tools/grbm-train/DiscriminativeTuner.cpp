#include "DiscriminativeTuner.h"

#include "FaceVectors.h"
#include "LightAugment.h"
#include "VerificationRule.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

namespace {
constexpr float kAdamBeta1 = 0.9f;
constexpr float kAdamBeta2 = 0.999f;
constexpr float kAdamEpsilon = 1e-8f;
// Keeps logarithms and quotients finite for coincident vectors or constant features.
constexpr float kTinySquare = 1e-12f;
// Share of the changed probes that are the enrolment photograph itself.
constexpr float kSamePhotoShare = 0.3f;

float softplus(float x)
{
    return x > 20.0f ? x : std::log1p(std::exp(x));
}

float logistic(float x)
{
    return 1.0f / (1.0f + std::exp(-x));
}

// Everything about one template that the distances and their gradients need.
struct TemplateStats
{
    Eigen::RowVectorXf mean;     // of the scaled vectors
    RowMatrix centred;           // scaled vectors minus their mean
    RowMatrix features;          // template features
    RowMatrix centredFeatures;
    Eigen::RowVectorXf featureMean, spread, quality, sign;
    // 1 where the deviation itself is the spread, 0 where a floor is; 1 where the weight
    // follows the mean, 0 where the relative floor holds it at its cap.
    Eigen::RowVectorXf byDeviation, byMean;
};

TemplateStats statsOf(const RowMatrix& templ, const GrbmParameters& p)
{
    TemplateStats s;
    const float m = static_cast<float>(templ.rows());
    s.mean = templ.colwise().mean();
    s.centred = templ.rowwise() - s.mean;
    s.features = (templ * p.weights.transpose()).rowwise() + p.hiddenBias.transpose();
    s.featureMean = s.features.colwise().mean();
    s.centredFeatures = s.features.rowwise() - s.featureMean;
    // The rule's floors (VerificationRule::weighedSpread), with what each lets through of the
    // gradient.
    const Eigen::RowVectorXf deviation = (s.centredFeatures.colwise().squaredNorm() / m).cwiseSqrt();
    const Eigen::RowVectorXf relativeFloor = VerificationRule::kMinRelativeSpread * s.featureMean.cwiseAbs();
    const Eigen::RowVectorXf floor = relativeFloor.cwiseMax(VerificationRule::kMinOwnerSpread);
    s.spread = deviation.cwiseMax(floor);
    s.byDeviation = (deviation.array() >= floor.array()).cast<float>();
    s.byMean = (deviation.array() >= floor.array() || relativeFloor.array() < VerificationRule::kMinOwnerSpread)
                   .cast<float>();
    s.quality = s.featureMean.cwiseAbs().cwiseQuotient(s.spread);
    s.sign = s.featureMean.unaryExpr([](float v) { return v < 0.0f ? -1.0f : 1.0f; });
    return s;
}

// The quality-weighted squared distance of a probe's features to the nearest template vector.
float nearestSquared(const TemplateStats& s, const Eigen::RowVectorXf& probeFeatures, Eigen::Index& best)
{
    const RowMatrix diff = s.features.rowwise() - probeFeatures;
    return (diff.cwiseAbs2() * s.quality.transpose()).minCoeff(&best);
}
} // namespace

Eigen::VectorXf DiscriminativeTuner::ruleDistances(const RowMatrix& scaledTemplate, const RowMatrix& scaledProbes,
                                                   const GrbmParameters& model)
{
    const TemplateStats s = statsOf(scaledTemplate, model);
    const RowMatrix features = (scaledProbes * model.weights.transpose()).rowwise() + model.hiddenBias.transpose();
    Eigen::VectorXf distances(features.rows());
    for (Eigen::Index k = 0; k < features.rows(); ++k) {
        Eigen::Index best = 0;
        distances[k] = std::sqrt(nearestSquared(s, features.row(k), best));
    }
    return distances;
}

DiscriminativeTuner::DiscriminativeTuner(const SampleSet& samples, const RowMatrix& cohort, GrbmParameters model,
                                         const TuningOptions& tuning, const SampleSet& lightSamples)
    : allSamples(samples), params(std::move(model)), options(tuning), random(tuning.seed)
{
    allSamples.append(lightSamples);
    inverseSigma = params.visibleSigma.cwiseInverse();
    const RowMatrix vectors = FaceVectors::of(allSamples.changed(options.prepare));
    scaledVectors = vectors * inverseSigma.asDiagonal();
    scaledMirrored = FaceVectors::mirrored(vectors) * inverseSigma.asDiagonal();
    if (cohort.rows() > 0)
        scaledCohort = cohort * inverseSigma.asDiagonal();
    const int firstLight = static_cast<int>(samples.personNames().size());
    for (int p = 0; p < static_cast<int>(allSamples.personNames().size()); ++p) {
        std::map<int, std::vector<int>> bySource;
        for (int k : allSamples.samplesOf(p))
            bySource[allSamples.source(k)].push_back(k);
        if (bySource.size() < 2)
            continue;
        Person person;
        for (auto& entry : bySource)
            person.photos.push_back(entry.second);
        if (p >= firstLight)
            lightPeople.push_back(static_cast<int>(people.size()));
        people.push_back(person);
    }
    momentW = RowMatrix::Zero(params.hiddenCount(), params.visibleCount());
    velocityW = momentW;
    momentB = Eigen::VectorXf::Zero(params.hiddenCount());
    velocityB = momentB;
}

std::vector<std::vector<int>> DiscriminativeTuner::batches()
{
    // The other people in shuffled batches, each completed by a few random light people.
    std::vector<int> order;
    for (int p = 0; p < personCount(); ++p)
        if (std::find(lightPeople.begin(), lightPeople.end(), p) == lightPeople.end())
            order.push_back(p);
    std::shuffle(order.begin(), order.end(), random);
    const int light = std::min(options.lightPeoplePerBatch, lightPersonCount());
    const auto step = static_cast<size_t>(std::max(1, options.personsPerBatch - light));
    std::vector<std::vector<int>> result;
    for (size_t start = 0; start < order.size(); start += step) {
        const size_t end = std::min(order.size(), start + step);
        std::vector<int> batch(order.begin() + static_cast<long>(start), order.begin() + static_cast<long>(end));
        std::vector<int> chosen = lightPeople;
        std::shuffle(chosen.begin(), chosen.end(), random);
        batch.insert(batch.end(), chosen.begin(), chosen.begin() + light);
        if (batch.size() >= 2)
            result.push_back(batch);
    }
    return result;
}

float DiscriminativeTuner::trainEpoch()
{
    double lossSum = 0.0;
    int count = 0;
    for (const std::vector<int>& batch : batches()) {
        RowMatrix gradW;
        Eigen::VectorXf gradB;
        lossSum += lossAndGradient(batch, static_cast<unsigned>(random()), gradW, gradB);
        adamStep(gradW, gradB);
        ++count;
    }
    return count == 0 ? 0.0f : static_cast<float>(lossSum / count);
}

Eigen::RowVectorXf DiscriminativeTuner::augmentedProbe(int sample, std::mt19937& episodeRandom) const
{
    SampleSet probe;
    probe.add(LightAugment::randomised(allSamples.sample(sample), episodeRandom), std::string(), 0);
    return FaceVectors::of(probe.changed(options.prepare)).row(0).cwiseProduct(inverseSigma.transpose());
}

DiscriminativeTuner::Episode DiscriminativeTuner::makeEpisode(const Person& person, int probeRow, RowMatrix& probes,
                                                              std::mt19937& episodeRandom) const
{
    std::uniform_int_distribution<size_t> pick(0, person.photos.size() - 1);
    const size_t enrolPhoto = pick(episodeRandom);
    size_t probePhoto = pick(episodeRandom);
    while (probePhoto == enrolPhoto)
        probePhoto = pick(episodeRandom);
    const std::vector<int>& enrol = person.photos[enrolPhoto];
    Episode episode;
    episode.templ.resize(static_cast<Eigen::Index>(enrol.size() * 2), scaledVectors.cols());
    for (size_t k = 0; k < enrol.size(); ++k) {
        episode.templ.row(static_cast<Eigen::Index>(2 * k)) = scaledVectors.row(enrol[k]);
        episode.templ.row(static_cast<Eigen::Index>(2 * k + 1)) = scaledMirrored.row(enrol[k]);
    }
    // Without changes no random number is drawn, so that plain tuning repeats exactly.
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    if (options.augmentShare > 0.0f && unit(episodeRandom) < options.augmentShare) {
        const size_t changedPhoto = unit(episodeRandom) < kSamePhotoShare ? enrolPhoto : probePhoto;
        probes.row(probeRow) = augmentedProbe(person.photos[changedPhoto].front(), episodeRandom);
    } else {
        probes.row(probeRow) = scaledVectors.row(person.photos[probePhoto].front());
    }
    episode.probe = probeRow;
    return episode;
}

float DiscriminativeTuner::lossAndGradient(const std::vector<int>& batch, unsigned episodeSeed, RowMatrix& gradW,
                                           Eigen::VectorXf& gradB) const
{
    const int n = static_cast<int>(batch.size());
    const int c = static_cast<int>(scaledCohort.rows());
    // Rows 0 ... n-1: each person's probe; rows n ... n+c-1: the cohort.
    RowMatrix probes(n + c, scaledVectors.cols());
    if (c > 0)
        probes.bottomRows(c) = scaledCohort;
    std::vector<Episode> episodes;
    std::mt19937 episodeRandom(episodeSeed);
    for (int b = 0; b < n; ++b)
        episodes.push_back(
            makeEpisode(people.at(static_cast<size_t>(batch[static_cast<size_t>(b)])), b, probes, episodeRandom));
    const RowMatrix probeFeatures = (probes * params.weights.transpose()).rowwise() + params.hiddenBias.transpose();

    // Distances of every probe and cohort face to every template: nearest template vector,
    // quality-weighted.
    std::vector<TemplateStats> stats;
    RowMatrix logSquared(n, n + c);          // [template][probe or cohort face]
    std::vector<std::vector<int>> nearest(static_cast<size_t>(n), std::vector<int>(static_cast<size_t>(n + c)));
    for (int r = 0; r < n; ++r) {
        stats.push_back(statsOf(episodes[static_cast<size_t>(r)].templ, params));
        const TemplateStats& s = stats.back();
        for (int k = 0; k < n + c; ++k) {
            Eigen::Index best = 0;
            const float squared = nearestSquared(s, probeFeatures.row(k), best);
            logSquared(r, k) = std::log(squared + kTinySquare);
            nearest[static_cast<size_t>(r)][static_cast<size_t>(k)] = static_cast<int>(best);
        }
    }
    // Each template's cohort reference: the cohort face at the rule's quantile of distances.
    // Normalised log distance = log d - log d(reference).
    std::vector<int> reference(static_cast<size_t>(n), -1);
    RowMatrix normalised = logSquared.leftCols(n);
    if (c > 0)
        for (int r = 0; r < n; ++r) {
            std::vector<int> order(static_cast<size_t>(c));
            std::iota(order.begin(), order.end(), n);
            const auto rank = order.begin() + static_cast<long>(VerificationRule::kCohortQuantile * (c - 1));
            std::nth_element(order.begin(), rank, order.end(),
                             [&](int a, int b) { return logSquared(r, a) < logSquared(r, b); });
            reference[static_cast<size_t>(r)] = *rank;
            normalised.row(r).array() -= logSquared(r, *rank);
        }

    // Ranking loss: every genuine (r == k) below every impostor (r != k), on half log squares
    // (= log distances). coefficient(r, k) = dLoss / d(squared distance).
    RowMatrix coefficient = RowMatrix::Zero(n, n + c);
    double loss = 0.0;
    const float pairs = static_cast<float>(n) * static_cast<float>(n) * static_cast<float>(n - 1);
    for (int g = 0; g < n; ++g)
        for (int r = 0; r < n; ++r)
            for (int k = 0; k < n; ++k) {
                if (r == k)
                    continue;
                const float z = options.sharpness * 0.5f * (normalised(g, g) - normalised(r, k));
                loss += softplus(z);
                const float slope = options.sharpness * 0.5f * logistic(z) / pairs;
                coefficient(g, g) += slope;
                coefficient(r, k) -= slope;
                if (c > 0) {
                    coefficient(g, reference[static_cast<size_t>(g)]) -= slope;
                    coefficient(r, reference[static_cast<size_t>(r)]) += slope;
                }
            }
    for (int r = 0; r < n; ++r)
        for (int k = 0; k < n + c; ++k)
            coefficient(r, k) /= std::exp(logSquared(r, k));

    gradW = RowMatrix::Zero(params.hiddenCount(), params.visibleCount());
    gradB = Eigen::VectorXf::Zero(params.hiddenCount());
    for (int r = 0; r < n; ++r) {
        const TemplateStats& s = stats[static_cast<size_t>(r)];
        const RowMatrix& templ = episodes[static_cast<size_t>(r)].templ;
        std::vector<int> columns(static_cast<size_t>(n));
        std::iota(columns.begin(), columns.end(), 0);
        if (c > 0)
            columns.push_back(reference[static_cast<size_t>(r)]);
        const auto m = static_cast<Eigen::Index>(columns.size());
        RowMatrix weightedDiff(m, params.hiddenCount());  // c * q * u per probe
        RowMatrix deltas(m, params.visibleCount());       // x_t* - y per probe
        Eigen::RowVectorXf kappa = Eigen::RowVectorXf::Zero(params.hiddenCount()); // sum c * u^2
        for (Eigen::Index i = 0; i < m; ++i) {
            const int k = columns[static_cast<size_t>(i)];
            const int t = nearest[static_cast<size_t>(r)][static_cast<size_t>(k)];
            const Eigen::RowVectorXf u = s.features.row(t) - probeFeatures.row(k);
            const float ck = coefficient(r, k);
            weightedDiff.row(i) = 2.0f * ck * s.quality.cwiseProduct(u);
            deltas.row(i) = templ.row(t) - probes.row(k);
            kappa += ck * u.cwiseAbs2();
        }
        gradW.noalias() += weightedDiff.transpose() * deltas;
        // Through the quality weights: q = |mean| / spread; a weight at its cap does not move.
        const Eigen::RowVectorXf byMean = kappa.cwiseProduct(s.sign).cwiseQuotient(s.spread).cwiseProduct(s.byMean);
        const Eigen::RowVectorXf bySpread = kappa.cwiseProduct(s.featureMean.cwiseAbs())
                                                .cwiseQuotient(s.spread.cwiseAbs2().cwiseProduct(s.spread))
                                                .cwiseProduct(s.byDeviation);
        gradB += byMean.transpose();
        gradW.noalias() += byMean.transpose() * s.mean;
        gradW.noalias() -= (bySpread.asDiagonal() * (s.centredFeatures.transpose() * s.centred)) /
                           static_cast<float>(templ.rows());
    }
    return static_cast<float>(loss / pairs);
}

void DiscriminativeTuner::adamStep(const RowMatrix& gradW, const Eigen::VectorXf& gradB)
{
    ++steps;
    const float correction1 = 1.0f - std::pow(kAdamBeta1, static_cast<float>(steps));
    const float correction2 = 1.0f - std::pow(kAdamBeta2, static_cast<float>(steps));
    momentW = kAdamBeta1 * momentW + (1.0f - kAdamBeta1) * gradW;
    velocityW = kAdamBeta2 * velocityW + (1.0f - kAdamBeta2) * gradW.cwiseAbs2();
    momentB = kAdamBeta1 * momentB + (1.0f - kAdamBeta1) * gradB;
    velocityB = kAdamBeta2 * velocityB + (1.0f - kAdamBeta2) * gradB.cwiseAbs2();
    const float step = options.learningRate;
    params.weights.array() -= step * (momentW.array() / correction1) /
                              ((velocityW.array() / correction2).sqrt() + kAdamEpsilon);
    params.hiddenBias.array() -= step * (momentB.array() / correction1) /
                                 ((velocityB.array() / correction2).sqrt() + kAdamEpsilon);
}
