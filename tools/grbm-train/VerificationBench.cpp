#include "VerificationBench.h"

#include "FaceVectors.h"
#include "VerificationRule.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

RowMatrix ruleDistances(const RowMatrix& templ, const RowMatrix& probeFeatures)
{
    const Eigen::RowVectorXf mean = templ.colwise().mean();
    const RowMatrix centred = templ.rowwise() - mean;
    const Eigen::RowVectorXf spread = (centred.colwise().squaredNorm() / static_cast<float>(templ.rows())).cwiseSqrt();
    Eigen::RowVectorXf quality(mean.size());
    for (Eigen::Index j = 0; j < mean.size(); ++j)
        quality[j] = VerificationRule::qualityWeight({mean[j], spread[j]});
    const Eigen::VectorXf probeTerm = probeFeatures.cwiseAbs2() * quality.transpose();
    const Eigen::VectorXf templTerm = templ.cwiseAbs2() * quality.transpose();
    RowMatrix squared = -2.0f * (probeFeatures * quality.asDiagonal()) * templ.transpose();
    squared.colwise() += probeTerm;
    squared.rowwise() += templTerm.transpose();
    return squared.cwiseMax(0.0f).cwiseSqrt();
}

float VerificationBench::Result::impostorQuantile(float share) const
{
    if (impostor.empty())
        return 0.0f;
    std::vector<float> sorted = impostor;
    std::sort(sorted.begin(), sorted.end());
    const size_t index = std::min(sorted.size() - 1, static_cast<size_t>(share * static_cast<float>(sorted.size())));
    return sorted[index];
}

float VerificationBench::Result::genuineAcceptance(float threshold) const
{
    const auto accepted = std::count_if(genuine.begin(), genuine.end(), [&](float d) { return d < threshold; });
    return genuine.empty() ? 0.0f : static_cast<float>(accepted) / static_cast<float>(genuine.size());
}

float VerificationBench::Result::impostorAcceptance(float threshold) const
{
    const auto accepted = std::count_if(impostor.begin(), impostor.end(), [&](float d) { return d < threshold; });
    return impostor.empty() ? 0.0f : static_cast<float>(accepted) / static_cast<float>(impostor.size());
}

VerificationBench::Result VerificationBench::Result::part(bool sequences) const
{
    Result result;
    for (size_t k = 0; k < genuine.size(); ++k)
        if (genuineSequence[k] == sequences) {
            result.genuine.push_back(genuine[k]);
            result.genuineSequence.push_back(sequences);
        }
    for (size_t k = 0; k < impostor.size(); ++k)
        if (impostorSequence[k] == sequences) {
            result.impostor.push_back(impostor[k]);
            result.impostorSequence.push_back(sequences);
        }
    equalErrorRate(result.genuine, result.impostor, result.eer, result.eerDistance);
    return result;
}

VerificationBench::VerificationBench(const SampleSet& samples, std::vector<Trial> benchTrials,
                                     std::vector<int> benchProbes, RowMatrix benchCohort, unsigned benchSeed)
    : vectors(FaceVectors::of(samples)), trials(std::move(benchTrials)), probes(std::move(benchProbes)),
      cohort(std::move(benchCohort)), seed(benchSeed)
{
    mirroredVectors = FaceVectors::mirrored(vectors);
    for (int k = 0; k < samples.size(); ++k)
        persons.push_back(samples.person(k));
}

VerificationBench VerificationBench::fromPhotoSet(const SampleSet& samples, const std::vector<bool>& sequenceOf,
                                                  const RowMatrix& cohort, Trials which, int enrolSources,
                                                  unsigned seed)
{
    std::vector<Trial> trials;
    std::vector<int> probes;
    for (int p = 0; p < static_cast<int>(samples.personNames().size()); ++p) {
        std::map<int, std::vector<int>> bySource;
        for (int k : samples.samplesOf(p))
            bySource[samples.source(k)].push_back(k);
        const int sources = static_cast<int>(bySource.size());
        const bool sequence = static_cast<size_t>(p) < sequenceOf.size() && sequenceOf[static_cast<size_t>(p)];
        const bool wanted = which == Trials::All || (which == Trials::Sequences) == sequence;
        const int enrolCount = sequence ? sources / 2 : enrolSources;
        Trial trial;
        trial.person = p;
        trial.sequence = sequence;
        int s = 0;
        for (const auto& entry : bySource) {
            if (s < enrolCount) {
                trial.enrol.insert(trial.enrol.end(), entry.second.begin(), entry.second.end());
                trial.exclude.insert(trial.exclude.end(), entry.second.begin(), entry.second.end());
            }
            probes.push_back(entry.second.front());
            ++s;
        }
        if (wanted && sources > enrolCount && !trial.enrol.empty())
            trials.push_back(trial);
    }
    return VerificationBench(samples, trials, probes, cohort, seed);
}

RowMatrix VerificationBench::ownerVectors(const Trial& trial, unsigned trialSeed) const
{
    std::mt19937 random(trialSeed);
    RowMatrix owner(kTemplateSize, vectors.cols());
    for (int t = 0; t < kTemplateSize; ++t) {
        const int k = trial.enrol[static_cast<size_t>(t) % trial.enrol.size()];
        owner.row(t) = (random() % 2 == 0) ? mirroredVectors.row(k) : vectors.row(k);
    }
    return owner;
}

VerificationBench::Result VerificationBench::run(const FeatureMap& map) const
{
    RowMatrix probeVectors(static_cast<Eigen::Index>(probes.size()), vectors.cols());
    for (size_t k = 0; k < probes.size(); ++k)
        probeVectors.row(static_cast<Eigen::Index>(k)) = vectors.row(probes[k]);
    const RowMatrix probeFeatures = map(probeVectors);
    const RowMatrix cohortFeatures = cohort.rows() > 0 ? map(cohort) : RowMatrix();
    Result result;
    for (size_t t = 0; t < trials.size(); ++t) {
        const Trial& trial = trials[t];
        const RowMatrix templ = map(ownerVectors(trial, seed * 7919u + static_cast<unsigned>(t)));
        const RowMatrix distances = ruleDistances(templ, probeFeatures);
        float statistic = 1.0f;
        if (cohortFeatures.rows() > 0) {
            const Eigen::VectorXf nearest = ruleDistances(templ, cohortFeatures).rowwise().minCoeff();
            statistic = VerificationRule::cohortStatistic(std::vector<float>(nearest.data(), nearest.data() + nearest.size()));
        }
        result.cohortStatistics.push_back(statistic);
        const std::set<int> excluded(trial.exclude.begin(), trial.exclude.end());
        for (size_t k = 0; k < probes.size(); ++k) {
            const float d = distances.row(static_cast<Eigen::Index>(k)).minCoeff() / statistic;
            if (persons[static_cast<size_t>(probes[k])] != trial.person) {
                result.impostor.push_back(d);
                result.impostorSequence.push_back(trial.sequence);
            } else if (excluded.count(probes[k]) == 0) {
                result.genuine.push_back(d);
                result.genuineSequence.push_back(trial.sequence);
            }
        }
    }
    equalErrorRate(result.genuine, result.impostor, result.eer, result.eerDistance);
    return result;
}

VerificationBench::FeatureMap VerificationBench::modelMap(const GrbmParameters& model)
{
    return [model](const RowMatrix& v) { return model.features(v); };
}

VerificationBench::FeatureMap VerificationBench::rawMap()
{
    return [](const RowMatrix& v) { return v; };
}

void equalErrorRate(std::vector<float> genuine, std::vector<float> impostor, float& eer, float& threshold)
{
    eer = 0.0f;
    threshold = 0.0f;
    if (genuine.empty() || impostor.empty())
        return;
    std::sort(genuine.begin(), genuine.end());
    std::sort(impostor.begin(), impostor.end());
    // Walk thresholds over the genuine distances: false rejections fall, false acceptances rise.
    float best = 2.0f;
    for (size_t g = 0; g <= genuine.size(); ++g) {
        const float t = g < genuine.size() ? genuine[g] : genuine.back() + 1.0f;
        const float frr = 1.0f - static_cast<float>(g) / static_cast<float>(genuine.size());
        const float far = static_cast<float>(std::lower_bound(impostor.begin(), impostor.end(), t) - impostor.begin()) /
                          static_cast<float>(impostor.size());
        const float gap = std::abs(frr - far);
        if (gap < best) {
            best = gap;
            eer = 0.5f * (frr + far);
            threshold = t;
        }
    }
}
