#include "VerificationRule.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace VerificationRule {

float weighedSpread(const FeatureStatistics& owner)
{
    return std::max({owner.deviation, kMinRelativeSpread * std::fabs(owner.mean), kMinOwnerSpread});
}

float qualityWeight(const FeatureStatistics& owner)
{
    return std::fabs(owner.mean) / weighedSpread(owner);
}

std::vector<float> qualityWeights(const FeatureRows& templ, std::size_t features)
{
    std::vector<float> quality(features, 0.0f);
    const auto row = [&templ](std::size_t k) -> const std::vector<float>& { return templ[k]; };
    for (std::size_t j = 0; j < features; ++j)
        quality[j] = qualityWeight(featureStatistics(templ.size(), j, row));
    return quality;
}

float nearestDistance(const FeatureRows& templ, const std::vector<float>& quality, const float* features)
{
    float nearest = std::numeric_limits<float>::max();
    for (const std::vector<float>& t : templ) {
        double sum = 0.0;
        for (std::size_t j = 0; j < quality.size(); ++j) {
            const float d = t[j] - features[j];
            const float square = d * d;
            sum += double(quality[j]) * double(square);
        }
        const double e = std::sqrt(sum);
        if (e < nearest)
            nearest = float(e);
    }
    return nearest;
}

float cohortStatistic(std::vector<float> distances)
{
    const auto rank = std::size_t(kCohortQuantile * double(distances.size() - 1));
    std::nth_element(distances.begin(), distances.begin() + long(rank), distances.end());
    return distances[rank];
}

float cohortScale(const std::vector<float>& cohortDistances, float target)
{
    if (cohortDistances.empty() || !std::isfinite(target) || target <= 0.0f)
        return 1.0f;
    const float statistic = cohortStatistic(cohortDistances);
    if (!std::isfinite(statistic) || statistic <= 0.0f)
        return 1.0f;
    return target / statistic;
}

float verificationScore(float distance, float scale)
{
    return kScoreNumerator / (scale * distance + kScoreOffset);
}

} // namespace VerificationRule
