#pragma once

#include "LivenessHeldOut.h"

#include <string>
#include <vector>

// Printed-photo sessions played through the lock behind the liveness check:
// every face it stops scores 0, a face not judged for its light or a frame
// without a face lets the confidence decay, and every face it lets through
// scores what the face match gives it. The confidence grows in proportion to
// that score, so each session has a lowest score that opens the lock: when it
// is above the face match's highest, the session cannot open it at all.
struct PhotoSequence
{
    std::string person;
    std::string session;
    int faces = 0;
    int passing = 0;        // faces the check lets through
    int longestRun = 0;     // consecutive frames with a passing face
    float openingScore = 0; // the lowest score of the passing faces that opens
                            // the lock (inf: none)
};

// The face-resnet's highest score, 90 / (s d + 30) at distance 0.
inline constexpr float kHighestResnetScore = 3.0f;

// Requires: judgements in frame order within each session (as the held-out runs
// give them). Ensures:  one sequence per photo session of the judged faces, in
// order of first appearance.
std::vector<PhotoSequence> photoSequences(const std::vector<HeldOutJudgement>& judgements);
