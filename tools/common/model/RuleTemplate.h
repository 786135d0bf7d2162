#pragma once

#include "GrbmParameters.h"
#include "VerificationRule.h"

#include <optional>

// A template under the program's verification rule, built from feature rows in Eigen form:
// the tools' replays of the window and the raw-vector baseline score faces through it, so that
// they apply exactly the matcher's rule (weights, nearest distance, cohort scale, score).
class RuleTemplate
{
public:
    // Requires: cohortFeatures has as many columns as templateFeatures (or no rows).
    // Ensures:  the scale is cohortTarget / statistic of the cohort's distances; 1 without a
    //           cohort or without a target.
    RuleTemplate(const RowMatrix& templateFeatures, const RowMatrix& cohortFeatures,
                 std::optional<float> cohortTarget);

    // The weighted distance d of a feature row to the nearest template vector.
    float distance(const float* features) const;
    float scale() const { return cohortScale; }
    // 90 / (s d + 30).
    float score(float distance) const;

private:
    VerificationRule::FeatureRows rows;
    std::vector<float> quality;
    float cohortScale = 1.0f;
};

// The rows of a matrix as the rule's feature rows.
VerificationRule::FeatureRows featureRows(const RowMatrix& matrix);
