#include "PhotoSequences.h"

#include "Confidence.h"

#include <algorithm>
#include <limits>
#include <map>

namespace {
struct Replay
{
    PhotoSequence sequence;
    float confidence = 0.0f; // with every passing face scoring 1
    float highest = 0.0f;
    int lastFrame = -1;
    int run = 0;
};
} // namespace

std::vector<PhotoSequence> photoSequences(const std::vector<HeldOutJudgement>& judgements)
{
    std::map<std::string, Replay> replays;
    std::vector<std::string> order;
    for (const HeldOutJudgement& judgement : judgements) {
        const LivenessFace& face = *judgement.face;
        if (face.live)
            continue;
        const std::string key = face.person + " " + face.session;
        auto [at, added] = replays.try_emplace(key);
        Replay& replay = at->second;
        if (added) {
            order.push_back(key);
            replay.sequence.person = face.person;
            replay.sequence.session = face.session;
        }
        // Frames between this face and the previous one had no face: the confidence
        // decays.
        for (int gap = replay.lastFrame + 1; replay.lastFrame >= 0 && gap < face.frame; ++gap) {
            replay.confidence = decayedConfidence(replay.confidence);
            replay.run = 0;
        }
        replay.lastFrame = face.frame;
        ++replay.sequence.faces;
        const bool passing = judgement.judgedLive();
        replay.sequence.passing += passing ? 1 : 0;
        replay.run = passing ? replay.run + 1 : 0;
        replay.sequence.longestRun = std::max(replay.sequence.longestRun, replay.run);
        replay.confidence = nextConfidence(replay.confidence, passing ? 1.0f : 0.0f);
        replay.highest = std::max(replay.highest, replay.confidence);
    }
    std::vector<PhotoSequence> sequences;
    for (const std::string& key : order) {
        const Replay& replay = replays[key];
        sequences.push_back(replay.sequence);
        sequences.back().openingScore =
            replay.highest > 0.0f ? kLockThreshold / replay.highest : std::numeric_limits<float>::infinity();
    }
    return sequences;
}
