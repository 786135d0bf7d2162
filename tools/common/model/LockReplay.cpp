#include "LockReplay.h"

#include "Confidence.h"

#include <algorithm>

LockOutcome LockReplay::replay(const std::vector<std::optional<float>>& ticks)
{
    LockOutcome outcome;
    float confidence = 0.0f;
    for (const std::optional<float>& score : ticks) {
        ++outcome.ticks;
        if (!score) {
            confidence = decayedConfidence(confidence);
            continue;
        }
        ++outcome.faceTicks;
        if (isOwnerScore(*score))
            ++outcome.ownerTicks;
        confidence = nextConfidence(confidence, *score);
        outcome.peakConfidence = std::max(outcome.peakConfidence, confidence);
        if (!outcome.opened && opensLock(confidence)) {
            outcome.opened = true;
            outcome.openingTick = outcome.ticks;
            outcome.openingFaceTick = outcome.faceTicks;
        }
    }
    return outcome;
}

long LockReplay::openedCount(const std::vector<LockOutcome>& sequences)
{
    return static_cast<long>(
        std::count_if(sequences.begin(), sequences.end(), [](const LockOutcome& s) { return s.opened; }));
}
