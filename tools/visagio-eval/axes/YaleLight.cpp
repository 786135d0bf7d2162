#include "axes/YaleLight.h"

#include "FaceResnet.h"
#include "Parallel.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <memory>

namespace eval {

namespace {
// Spreads the owners' training and movement seeds apart.
constexpr unsigned kOwnerSeedStride = 100003u;
// The embedding of a crop when the run computed none.
const Embedding kNoEmbedding;
// Eye centres of the 42 x 48 crops (the set is aligned by the eyes; read off several people's
// crops) and where FaceChip puts them in a chip (FaceChip.h).
constexpr double kCropLeftEyeX = 7.4;
constexpr double kCropRightEyeX = 34.2;
constexpr double kCropEyeY = 14.7;
constexpr double kChipLeftEyeX = 47.5;
constexpr double kChipRightEyeX = 100.5;
constexpr double kChipEyeY = 46.6;

MethodResult scoreOwner(Scorer& scorer, const std::vector<YalePerson>& people, std::size_t owner, int groupSize,
                         unsigned seed, const YaleLight::Embeddings& embeddings)
{
    MethodResult result;
    const YalePerson& own = people[owner];
    const unsigned ownerSeed = seed * kOwnerSeedStride + static_cast<unsigned>(owner);
    std::vector<std::vector<Embedding>> groupEmbeddings;
    if (!embeddings.frontal.empty())
        groupEmbeddings.push_back({embeddings.frontal[owner]});
    result.enrolTime.measure([&] {
        scorer.enrolFaces({YaleCrops::enrolmentGroup(own.crops[own.frontal], groupSize, ownerSeed)}, groupEmbeddings,
                          ownerSeed);
    });
    for (std::size_t p = 0; p < people.size(); ++p)
        for (std::size_t k = 0; k < people[p].crops.size(); ++k) {
            if (p == owner && k == own.frontal)
                continue;
            const cv::Mat sample = YaleCrops::sampleOf(people[p].crops[k]);
            const Embedding& embedding = embeddings.crops.empty() ? kNoEmbedding : embeddings.crops[p][k];
            const double score = result.scoreTime.measure([&] { return scorer.scoreFace(sample, embedding); });
            (p == owner ? result.genuine : result.impostor).push_back(score);
        }
    return result;
}
} // namespace

cv::Mat YaleLight::chipOf(const cv::Mat& crop)
{
    const double scale = (kChipRightEyeX - kChipLeftEyeX) / (kCropRightEyeX - kCropLeftEyeX);
    const cv::Mat toChip = (cv::Mat_<double>(2, 3) << scale, 0.0, kChipLeftEyeX - scale * kCropLeftEyeX, 0.0, scale,
                            kChipEyeY - scale * kCropEyeY);
    cv::Mat grey;
    cv::warpAffine(crop, grey, toChip, cv::Size(FaceResnet::kChipSize, FaceResnet::kChipSize), cv::INTER_CUBIC,
                   cv::BORDER_CONSTANT, cv::Scalar::all(0));
    cv::Mat chip;
    cv::cvtColor(grey, chip, cv::COLOR_GRAY2BGR);
    return chip;
}

YaleLight::Embeddings YaleLight::embed(const std::vector<YalePerson>& people, int threads, EmbeddingStats& stats)
{
    std::vector<std::unique_ptr<EmbeddingStage>> stages;
    for (int t = 0; t < std::max(threads, 1); ++t)
        stages.push_back(std::make_unique<EmbeddingStage>());
    Embeddings result;
    result.crops.resize(people.size());
    result.frontal.resize(people.size());
    Parallel::forEach(people.size(), threads, "Yale B chips", [&](std::size_t t, std::size_t p) {
        for (const cv::Mat& crop : people[p].crops)
            result.crops[p].push_back(stages[t]->embedChip(chipOf(crop), false));
        result.frontal[p] = stages[t]->embedChip(chipOf(people[p].crops[people[p].frontal]), true);
    });
    for (const auto& stage : stages)
        stats.add(stage->stats());
    return result;
}

MethodResult YaleLight::run(const std::vector<YalePerson>& people, const TrialProtocol::ScorerFactory& make,
                             int groupSize, unsigned seed, int threads, const Embeddings& embeddings)
{
    return Parallel::scoreEach(people.size(), threads, make, false, [&](Scorer& scorer, std::size_t owner) {
        return scoreOwner(scorer, people, owner, groupSize, seed, embeddings);
    });
}

} // namespace eval
