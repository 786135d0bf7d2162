#include "axes/YaleLight.h"

#include "Parallel.h"

namespace eval {

namespace {
// Spreads the owners' training and movement seeds apart.
constexpr unsigned kOwnerSeedStride = 100003u;

MethodResult scoreOwner(Scorer& scorer, const std::vector<YalePerson>& people, std::size_t owner, int groupSize,
                         unsigned seed)
{
    MethodResult result;
    const YalePerson& own = people[owner];
    const unsigned ownerSeed = seed * kOwnerSeedStride + static_cast<unsigned>(owner);
    result.enrolTime.measure(
        [&] { scorer.enrol(YaleCrops::enrolmentGroup(own.crops[own.frontal], groupSize, ownerSeed), ownerSeed); });
    for (std::size_t p = 0; p < people.size(); ++p)
        for (std::size_t k = 0; k < people[p].crops.size(); ++k) {
            if (p == owner && k == own.frontal)
                continue;
            const cv::Mat sample = YaleCrops::sampleOf(people[p].crops[k]);
            const double score = result.scoreTime.measure([&] { return scorer.score(sample); });
            (p == owner ? result.genuine : result.impostor).push_back(score);
        }
    return result;
}
} // namespace

MethodResult YaleLight::run(const std::vector<YalePerson>& people, const TrialProtocol::ScorerFactory& make,
                             int groupSize, unsigned seed, int threads)
{
    return Parallel::scoreEach(people.size(), threads, make, false, [&](Scorer& scorer, std::size_t owner) {
        return scoreOwner(scorer, people, owner, groupSize, seed);
    });
}

} // namespace eval
