#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

// The owner-verification rule in one place: the matcher, the window replays of the tools and
// the raw-vector baseline all call these functions, so that a face scores the same wherever it
// is measured.
//
// A template is a list of feature vectors of the owner. Each feature is weighed by how steady
// and how far from zero the owner's values are (|mean| / spread, the spread floored); a face's distance is the
// weighted distance to the nearest template vector. The distance is scaled by s, a factor set
// per template from the distances of a cohort of other people's faces, so that the fixed
// threshold sits at about the same share of accepted strangers however wide the template is.
// The score is 90 / (s d + 30).
namespace VerificationRule {

using FeatureRows = std::vector<std::vector<float>>;

// A feature whose owner values vary less is weighed as if they varied this much, so that its
// weight stays finite (a single-sample template still ranks faces)...
constexpr float kMinOwnerSpread = 1e-6f;
// ...and one whose values vary by less than this share of their mean, as if they varied by this
// share: no weight exceeds 1000. Values that are equal in exact arithmetic come out of a
// feature model's sums a few units in the last place apart or not at all, depending on the
// machine and the order of the sums; a floor far above that keeps such a template's weights,
// and so its distances, the same on every machine. Real enrolments vary by 9 % of the mean or
// more (a weight of 11 at most).
constexpr float kMinRelativeSpread = 1e-3f;
// Score = kScoreNumerator / (s d + kScoreOffset): 3 at distance 0, 1 at a scaled distance of 60.
constexpr float kScoreNumerator = 90.0f;
constexpr float kScoreOffset = 30.0f;
// The cohort statistic is this quantile of the cohort's distances to the template.
constexpr double kCohortQuantile = 0.5;

struct FeatureStatistics
{
    float mean = 0.0f;
    float deviation = 0.0f;
};

// Population mean and deviation of feature j over the first `count` rows given by row(k):
// sums in double, each squared deviation rounded to float, mean and deviation rounded to
// float. No rows give 0 and 0.
template <typename Row>
FeatureStatistics featureStatistics(std::size_t count, std::size_t j, Row row)
{
    FeatureStatistics result;
    if (count == 0)
        return result;
    double sum = 0.0;
    for (std::size_t k = 0; k < count; ++k)
        sum += row(k)[j];
    result.mean = float(sum / double(count));
    double squares = 0.0;
    for (std::size_t k = 0; k < count; ++k) {
        const float d = row(k)[j] - result.mean;
        squares += d * d;
    }
    result.deviation = float(std::sqrt(squares / double(count)));
    return result;
}

// The spread a feature is weighed by: max(deviation, 1e-3 |mean|, 1e-6).
float weighedSpread(const FeatureStatistics& owner);

// The weight of a feature with these owner statistics: |mean| / weighedSpread, at most 1000.
float qualityWeight(const FeatureStatistics& owner);

// Requires: every row of templ has at least `features` values.
// Ensures:  one weight a feature, from the owner's statistics over the template rows.
std::vector<float> qualityWeights(const FeatureRows& templ, std::size_t features);

// The weighted distance of `features` to the nearest template vector:
// sqrt(sum_j q_j (t_j - f_j)^2), each square rounded to float, the sum in double; a candidate
// that is not a number never wins. With an empty template: the largest float.
// Requires: features and every template row hold at least quality.size() values.
float nearestDistance(const FeatureRows& templ, const std::vector<float>& quality, const float* features);

// The cohort statistic: the kCohortQuantile quantile of the distances (the element at that
// rank of the sorted list). Requires: distances not empty.
float cohortStatistic(std::vector<float> distances);

// The template's distance scale: target / statistic of the cohort distances. 1 when there is
// no cohort, when target is not a positive finite number, or when the statistic is not.
float cohortScale(const std::vector<float>& cohortDistances, float target);

// The score of a face at distance d under scale s: 90 / (s d + 30), in float.
float verificationScore(float distance, float scale);

} // namespace VerificationRule
