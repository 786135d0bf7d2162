#include "CalibrationFit.h"

#include "Confidence.h"
#include "EmbeddingDistance.h"
#include "VerificationRule.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace {
float nearest(const std::vector<std::vector<float>>& templ, const std::vector<float>& probe,
              ResnetCalibration::Distance kind)
{
    float best = std::numeric_limits<float>::max();
    for (const std::vector<float>& entry : templ)
        best = std::min(best, embeddingDistance(kind, entry, probe));
    return best;
}
}  // namespace

TrialDistances ownerTrials(const PeopleEmbeddings& people, ResnetCalibration::Distance kind)
{
    TrialDistances trials;
    for (const auto& [owner, faces] : people) {
        if (faces.size() < 2)
            continue;
        const std::size_t half = faces.size() / 2;
        std::vector<std::vector<float>> templ;
        for (const FaceEmbedding& face : faces)
            templ.push_back(face.mirrored);
        for (const auto& [other, strangerFaces] : people)
            if (other != owner)
                for (const FaceEmbedding& face : strangerFaces)
                    trials.strangers.push_back(nearest(templ, face.single, kind));
        templ.resize(half);
        for (std::size_t i = half; i < faces.size(); ++i)
            trials.owners.push_back(nearest(templ, faces[i].single, kind));
    }
    return trials;
}

float thresholdAtFar(std::vector<float> strangers, double far)
{
    std::sort(strangers.begin(), strangers.end());
    const std::size_t allowed = std::min(strangers.size() - 1, std::size_t(far * double(strangers.size())));
    return strangers[allowed];
}

float marginThreshold(std::vector<float> owners, const std::vector<float>& strangers, double ownerShare, double far)
{
    std::sort(owners.begin(), owners.end());
    const std::size_t rank = std::min(owners.size() - 1, std::size_t(ownerShare * double(owners.size())));
    return 0.5f * (owners[rank] + thresholdAtFar(strangers, far));
}

double shareBelow(const std::vector<float>& distances, float threshold)
{
    if (distances.empty())
        return 0.0;
    const auto below = std::count_if(distances.begin(), distances.end(), [&](float d) { return d < threshold; });
    return double(below) / double(distances.size());
}

float scaleForThreshold(float threshold)
{
    if (!std::isfinite(threshold) || threshold <= 0.0f)
        throw std::invalid_argument("calibration: the strangers and owners leave no distance to put the lock's "
                                    "threshold at (" + std::to_string(threshold) + ")");
    const float scaledThreshold =
        VerificationRule::kScoreNumerator / kLockThreshold - VerificationRule::kScoreOffset;
    return scaledThreshold / threshold;
}
