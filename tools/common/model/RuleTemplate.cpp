#include "RuleTemplate.h"

RuleTemplate::RuleTemplate(const RowMatrix& templateFeatures, const RowMatrix& cohortFeatures,
                           std::optional<float> cohortTarget)
    : rows(featureRows(templateFeatures)),
      quality(VerificationRule::qualityWeights(rows, std::size_t(templateFeatures.cols())))
{
    if (!cohortTarget || cohortFeatures.rows() == 0)
        return;
    std::vector<float> cohortDistances;
    for (Eigen::Index k = 0; k < cohortFeatures.rows(); ++k)
        cohortDistances.push_back(distance(cohortFeatures.row(k).data()));
    cohortScale = VerificationRule::cohortScale(cohortDistances, *cohortTarget);
}

float RuleTemplate::distance(const float* features) const
{
    return VerificationRule::nearestDistance(rows, quality, features);
}

float RuleTemplate::score(float d) const
{
    return VerificationRule::verificationScore(d, cohortScale);
}

VerificationRule::FeatureRows featureRows(const RowMatrix& matrix)
{
    VerificationRule::FeatureRows result;
    for (Eigen::Index k = 0; k < matrix.rows(); ++k)
        result.emplace_back(matrix.row(k).data(), matrix.row(k).data() + matrix.cols());
    return result;
}
