#include "scorers/RawVectorScorer.h"

#include "FaceGeometry.h"
#include "FaceVector.h"
#include "FaceVectors.h"
#include "RandomSource.h"

namespace eval {

namespace {
// Only the ranking of raw distances is measured: any positive target gives the same ranking.
constexpr float kRankingTarget = 1.0f;
} // namespace

RawVectorScorer::RawVectorScorer()
    : mask(createFaceMask(kSampleSize, 1)), cohort(FaceVectors::cohort(std::string()))
{
}

std::vector<float> RawVectorScorer::faceVector(const cv::Mat& sample) const
{
    cv::Mat copy = sample.clone();
    return maskedFaceVector(copy, mask);
}

// The matcher's mirror pass: one draw a vector from its random source, an even draw mirrors.
void RawVectorScorer::enrol(const std::vector<cv::Mat>& group, unsigned seed)
{
    RandomSource random;
    random.seed(seed);
    RowMatrix vectors(static_cast<Eigen::Index>(group.size()), kSampleSize.area());
    for (std::size_t k = 0; k < group.size(); ++k) {
        std::vector<float> vector = faceVector(group[k]);
        if (random.next() % 2 != 1)
            mirrorFaceVector(vector, kSampleSize);
        vectors.row(static_cast<Eigen::Index>(k)) = Eigen::Map<const Eigen::RowVectorXf>(vector.data(), kSampleSize.area());
    }
    rule.emplace(vectors, cohort, kRankingTarget);
}

double RawVectorScorer::score(const cv::Mat& sample)
{
    const std::vector<float> v = faceVector(sample);
    return rule->score(rule->distance(v.data()));
}

} // namespace eval
