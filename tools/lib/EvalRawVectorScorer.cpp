#include "EvalRawVectorScorer.h"

#include "FaceVector.h"
#include "RandomSource.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {
constexpr int kWidth = 35;
constexpr int kHeight = 45;
// As the matcher: a value without spread over the owner is weighed as if its spread were this.
constexpr float kMinOwnerSpread = 1e-6f;
constexpr double kScoreNumerator = 90.0;
constexpr double kScoreOffset = 30.0;

void mirror(std::vector<float>& vector)
{
    for (int y = 0; y < kHeight; ++y) {
        float* row = vector.data() + static_cast<std::size_t>(y) * kWidth;
        for (int x = 0; x < kWidth / 2; ++x)
            std::swap(row[x], row[kWidth - 1 - x]);
    }
}
} // namespace

EvalRawVectorScorer::EvalRawVectorScorer() : mask(createFaceMask(cv::Size(kWidth, kHeight), 1))
{
}

std::vector<float> EvalRawVectorScorer::faceVector(const cv::Mat& sample) const
{
    cv::Mat copy = sample.clone();
    return maskedFaceVector(copy, mask);
}

// The matcher's mirror pass: one draw a vector from its random source, an even draw mirrors.
void EvalRawVectorScorer::enrol(const std::vector<cv::Mat>& group, unsigned seed)
{
    RandomSource random;
    random.seed(seed);
    templateVectors.clear();
    for (const cv::Mat& sample : group) {
        templateVectors.push_back(faceVector(sample));
        if (random.next() % 2 != 1)
            mirror(templateVectors.back());
    }
    weigh();
}

void EvalRawVectorScorer::weigh()
{
    const std::size_t values = templateVectors.front().size();
    const double rows = static_cast<double>(templateVectors.size());
    quality.assign(values, 0.0f);
    for (std::size_t j = 0; j < values; ++j) {
        double sum = 0.0;
        for (const auto& t : templateVectors)
            sum += t[j];
        const auto mean = static_cast<float>(sum / rows);
        double squares = 0.0;
        for (const auto& t : templateVectors)
            squares += static_cast<double>((t[j] - mean) * (t[j] - mean));
        const auto spread = static_cast<float>(std::sqrt(squares / rows));
        quality[j] = std::fabs(mean) / std::max(spread, kMinOwnerSpread);
    }
}

double EvalRawVectorScorer::score(const cv::Mat& sample)
{
    const std::vector<float> v = faceVector(sample);
    double nearest = std::numeric_limits<double>::max();
    for (const auto& t : templateVectors) {
        double sum = 0.0;
        for (std::size_t j = 0; j < v.size(); ++j) {
            const float d = t[j] - v[j];
            sum += static_cast<double>(quality[j]) * static_cast<double>(d * d);
        }
        nearest = std::min(nearest, std::sqrt(sum));
    }
    return kScoreNumerator / (nearest + kScoreOffset);
}
