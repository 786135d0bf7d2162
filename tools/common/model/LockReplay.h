#pragma once

#include <optional>
#include <vector>

// What the lock did over one sequence of camera ticks.
struct LockOutcome
{
    bool opened = false;
    int openingTick = -1;     // tick (1-based, ticks without a face included) that opened it
    int openingFaceTick = -1; // the same counted in ticks with a face only
    int ticks = 0;
    int faceTicks = 0;
    int ownerTicks = 0;       // faces scored as the owner (score above 0.99)
    float peakConfidence = 0.0f;
};

// Replays the window's verification over a sequence of ticks with its own arithmetic: each
// face folds its score into the smoothed confidence, each tick without a face lets it decay,
// and the lock opens once the confidence exceeds 0.99 and then stays open.
class LockReplay
{
public:
    // One entry a tick: the verification score of its face, or nothing for a tick without one.
    // Ensures: the outcome of a verification run started at confidence 0.
    static LockOutcome replay(const std::vector<std::optional<float>>& ticks);
    // How many of the sequences opened the lock.
    static long openedCount(const std::vector<LockOutcome>& sequences);
};
