#include "ModelCalibrator.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

ModelCalibrator::ModelCalibrator(const SampleSet& sequences, const SampleSet& photos, const RowMatrix& cohort,
                                 unsigned seed, int enrolPhotographs)
    : bench(VerificationBench::fromPhotoSet(merged(sequences, photos), sequenceFlags(sequences, photos), cohort,
                                            VerificationBench::Trials::All, enrolPhotographs, seed))
{
}

SampleSet ModelCalibrator::merged(const SampleSet& sequences, const SampleSet& photos)
{
    SampleSet set = sequences;
    set.append(photos);
    return set;
}

std::vector<bool> ModelCalibrator::sequenceFlags(const SampleSet& sequences, const SampleSet& photos)
{
    std::vector<bool> flags(sequences.personNames().size(), true);
    flags.resize(flags.size() + photos.personNames().size(), false);
    return flags;
}

ModelCalibrator::Figures ModelCalibrator::measure(const VerificationBench::FeatureMap& map) const
{
    const auto result = bench.run(map);
    Figures figures;
    figures.eer = result.eer;
    figures.sequenceEer = result.part(true).eer;
    figures.photoEer = result.part(false).eer;
    return figures;
}

ModelCalibrator::Calibration ModelCalibrator::calibrate(const GrbmParameters& model, float targetShare) const
{
    const auto all = bench.run(VerificationBench::modelMap(model));
    const auto photos = all.part(false);
    const float quantile = (photos.impostor.empty() ? all : photos).impostorQuantile(targetShare);
    if (!(quantile > 0.0f))
        throw std::runtime_error("calibration: no impostor comparisons to calibrate on");
    Calibration result;
    result.cohortTarget = kDistanceThreshold / quantile;
    const auto& statistics = all.cohortStatistics;
    const float smallest = statistics.empty() ? 0.0f : *std::min_element(statistics.begin(), statistics.end());
    result.alpha = smallest > 0.0f ? kFallbackMargin * result.cohortTarget / smallest : 1.0f;
    return result;
}

void ModelCalibrator::acceptance(const GrbmParameters& model, float cohortTarget, float& sequenceGenuine,
                                 float& sequenceImpostor, float& photoGenuine, float& photoImpostor) const
{
    const auto result = bench.run(VerificationBench::modelMap(model));
    const auto sequence = result.part(true);
    const auto photo = result.part(false);
    const float threshold = kDistanceThreshold / cohortTarget;
    sequenceGenuine = sequence.genuineAcceptance(threshold);
    sequenceImpostor = sequence.impostorAcceptance(threshold);
    photoGenuine = photo.genuineAcceptance(threshold);
    photoImpostor = photo.impostorAcceptance(threshold);
}
