#include "ModelCalibrator.h"

#include <algorithm>
#include <limits>

ModelCalibrator::ModelCalibrator(const SampleSet& sequences, const SampleSet& photos, unsigned seed)
    : bench(VerificationBench::fromPhotoSet(merged(sequences, photos), sequenceFlags(sequences, photos),
                                            VerificationBench::Trials::All, kEnrolPhotographs, seed))
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

float ModelCalibrator::alphaFor(const GrbmParameters& model, float targetShare) const
{
    const auto result = bench.run(VerificationBench::modelMap(model));
    float quantile = std::numeric_limits<float>::max();
    for (const bool sequences : {true, false}) {
        const auto group = result.part(sequences);
        if (!group.impostor.empty())
            quantile = std::min(quantile, group.impostorQuantile(targetShare));
    }
    return quantile > 0.0f && quantile < std::numeric_limits<float>::max() ? kDistanceThreshold / quantile : 1.0f;
}

void ModelCalibrator::acceptance(const GrbmParameters& model, float& sequenceGenuine, float& sequenceImpostor,
                                 float& photoGenuine, float& photoImpostor) const
{
    const auto map = VerificationBench::modelMap(model);
    const auto result = bench.run(map);
    const auto sequence = result.part(true);
    const auto photo = result.part(false);
    sequenceGenuine = sequence.genuineAcceptance(kDistanceThreshold);
    sequenceImpostor = sequence.impostorAcceptance(kDistanceThreshold);
    photoGenuine = photo.genuineAcceptance(kDistanceThreshold);
    photoImpostor = photo.impostorAcceptance(kDistanceThreshold);
}
