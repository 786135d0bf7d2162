#include "LightSelection.h"

#include "LightAugment.h"
#include "ModelCalibrator.h"

#include <map>

namespace {
// The light of visagio-eval's light axis (--relight 0.667).
constexpr double kRelightStrength = 0.667;
// Relit samples are numbered apart from the photographs' own sources.
constexpr int kRelitSourceOffset = 1000000;

VerificationBench relitBench(const SampleSet& photos, const RowMatrix& cohort, unsigned seed,
                             const LightSelection::Prepare& prepare)
{
    SampleSet samples = photos.changed(prepare);
    std::vector<VerificationBench::Trial> trials;
    std::vector<int> probes;
    for (int p = 0; p < static_cast<int>(photos.personNames().size()); ++p) {
        std::map<int, std::vector<int>> bySource;
        for (int k : photos.samplesOf(p))
            bySource[photos.source(k)].push_back(k);
        VerificationBench::Trial trial;
        trial.person = p;
        int s = 0;
        for (const auto& entry : bySource) {
            cv::Mat lit = LightAugment::sideLit(photos.sample(entry.second.front()), kRelightStrength, s % 2 == 0);
            if (prepare)
                lit = prepare(lit);
            samples.add(lit, photos.personNames()[static_cast<size_t>(p)], kRelitSourceOffset + entry.first);
            probes.push_back(samples.size() - 1);
            if (s < ModelCalibrator::kEnrolPhotographs) {
                trial.enrol.insert(trial.enrol.end(), entry.second.begin(), entry.second.end());
                trial.exclude.push_back(samples.size() - 1);
            }
            ++s;
        }
        if (s > ModelCalibrator::kEnrolPhotographs)
            trials.push_back(trial);
    }
    return VerificationBench(samples, trials, probes, cohort, seed);
}
} // namespace

LightSelection::LightSelection(const SampleSet& photos, const SampleSet& lightPeople, const RowMatrix& cohort,
                               unsigned seed, const Prepare& prepare)
    : relit(std::make_unique<VerificationBench>(relitBench(photos, cohort, seed, prepare)))
{
    if (lightPeople.size() > 0)
        underLights = std::make_unique<VerificationBench>(VerificationBench::fromPhotoSet(
            lightPeople.changed(prepare), {}, cohort, VerificationBench::Trials::Photos, 1, seed));
}

LightSelection::Figures LightSelection::measure(const VerificationBench::FeatureMap& map) const
{
    Figures figures;
    figures.relitEer = relit->run(map).eer;
    if (underLights)
        figures.lightEer = underLights->run(map).eer;
    return figures;
}
