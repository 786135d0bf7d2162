#include "Confidence.h"

#include <algorithm>

namespace {
// The float value of 1 - 0.8: one step below the float nearest to 0.2. Keeping it (rather than
// 0.2f) keeps the lock opening on exactly the same tick for a given sequence of scores.
constexpr float kScoreWeight = 0.199999988f;
constexpr float kDecay = 0.8f;
}  // namespace

float nextConfidence(float confidence, float score)
{
    const long double mixed = static_cast<long double>(kScoreWeight) * score
                              + static_cast<long double>(kDecay) * confidence;
    return static_cast<float>(mixed);
}

float decayedConfidence(float confidence)
{
    return kDecay * confidence;
}

int confidencePercent(float confidence)
{
    const float shown = std::clamp(confidence, 0.0f, 1.0f);
    return static_cast<int>(shown * 100);
}

bool isOwnerScore(float score)
{
    return score > kLockThreshold;
}

bool opensLock(float confidence)
{
    return confidence > kLockThreshold;
}
