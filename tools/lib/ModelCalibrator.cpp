#include "ModelCalibrator.h"

ModelCalibrator::ModelCalibrator(const SampleSet& sequences, const SampleSet& photos, unsigned seed)
    : all(VerificationBench::fromPhotoSet(merged(sequences, photos), sequenceFlags(sequences, photos),
                                          VerificationBench::Trials::All, 1, seed)),
      sequenceTrials(VerificationBench::fromPhotoSet(merged(sequences, photos), sequenceFlags(sequences, photos),
                                                     VerificationBench::Trials::Sequences, 1, seed)),
      photoTrials(VerificationBench::fromPhotoSet(merged(sequences, photos), sequenceFlags(sequences, photos),
                                                  VerificationBench::Trials::Photos, 1, seed))
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
    Figures figures;
    figures.eer = all.run(map).eer;
    figures.sequenceEer = sequenceTrials.run(map).eer;
    figures.photoEer = photoTrials.run(map).eer;
    return figures;
}

float ModelCalibrator::alphaFor(const GrbmParameters& model, float targetShare) const
{
    const auto result = sequenceTrials.run(VerificationBench::modelMap(model));
    const float quantile = result.impostorQuantile(targetShare);
    return quantile > 0.0f ? kDistanceThreshold / quantile : 1.0f;
}

void ModelCalibrator::acceptance(const GrbmParameters& model, float& sequenceGenuine, float& sequenceImpostor,
                                 float& photoGenuine, float& photoImpostor) const
{
    const auto map = VerificationBench::modelMap(model);
    const auto sequence = sequenceTrials.run(map);
    const auto photo = photoTrials.run(map);
    sequenceGenuine = sequence.genuineAcceptance(kDistanceThreshold);
    sequenceImpostor = sequence.impostorAcceptance(kDistanceThreshold);
    photoGenuine = photo.genuineAcceptance(kDistanceThreshold);
    photoImpostor = photo.impostorAcceptance(kDistanceThreshold);
}
