#include "axes/SessionAxis.h"

#include "Parallel.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace eval {

namespace {
// Spreads the cases' training seeds apart.
constexpr unsigned kCaseSeedStride = 100003u;

// Added to the name of a method behind the liveness gate.
constexpr const char* kGatedSuffix = " + liveness";

// The embedding of a face when the clips carry none.
const Embedding kNoEmbedding;

// How the window takes a tick: not scored (no face, or a light the gate does not judge), scored
// 0 (a photograph to the gate) or scored by the face match.
enum class Take { NotScored, Zero, Match };

Take takeOf(const LivenessGate* gate, const SessionClip& clip, std::size_t k)
{
    if (clip.ticks[k].empty())
        return Take::NotScored;
    if (!gate)
        return Take::Match;
    switch (gate->judge(clip.person, clip.tickLight[k], clip.tickLiveness[k])) {
    case LivenessCheck::Verdict::PoorLight:
        return Take::NotScored;
    case LivenessCheck::Verdict::Photo:
        return Take::Zero;
    case LivenessCheck::Verdict::Live:
        break;
    }
    return Take::Match;
}

// Every tick of the clip in order: each face is scored and appended to `scores`, behind the
// gate when there is one.
std::vector<std::optional<float>> play(Scorer& scorer, const SessionClip& clip, const LivenessGate* gate,
                                       std::vector<double>& scores)
{
    if (gate && (clip.tickLight.size() != clip.ticks.size() || clip.tickLiveness.size() != clip.ticks.size()))
        throw std::logic_error("the liveness gate needs the clips' liveness features");
    std::vector<std::optional<float>> ticks;
    for (std::size_t k = 0; k < clip.ticks.size(); ++k) {
        const Take take = takeOf(gate, clip, k);
        if (take == Take::NotScored) {
            ticks.emplace_back();
            continue;
        }
        const Embedding& embedding = k < clip.tickEmbeddings.size() ? clip.tickEmbeddings[k] : kNoEmbedding;
        const double score = take == Take::Zero ? 0.0 : scorer.scoreFace(clip.ticks[k], embedding);
        scores.push_back(score);
        ticks.emplace_back(static_cast<float>(score));
    }
    return ticks;
}

// What the runs of one method share.
struct Played
{
    const std::vector<SessionClip>& clips;
    const std::vector<SessionClip>& photos;
    const LivenessGate* gate;
    bool lockLevel;
};

MethodResult runCase(Scorer& scorer, const Played& played, const SessionAxis::Case& c, unsigned seed)
{
    const std::vector<SessionClip>& clips = played.clips;
    MethodResult result;
    std::vector<std::vector<cv::Mat>> groups;
    std::vector<std::vector<Embedding>> embeddings;
    for (std::size_t k : c.enrolled) {
        groups.push_back(clips[k].group);
        if (!clips[k].groupEmbeddings.empty())
            embeddings.push_back(clips[k].groupEmbeddings);
    }
    result.enrolTime.measure([&] { scorer.enrolFaces(groups, embeddings, seed); });
    const std::string& owner = clips[c.played].person;
    for (std::size_t k = 0; k < clips.size(); ++k) {
        const bool genuine = k == c.played;
        if (!genuine && clips[k].person == owner)
            continue;
        std::vector<double>& scores = genuine ? result.genuine : result.impostor;
        const auto ticks = result.scoreTime.measure([&] { return play(scorer, clips[k], played.gate, scores); });
        if (played.lockLevel)
            (genuine ? result.ownerSequences : result.impostorSequences).push_back(LockReplay::replay(ticks));
    }
    std::vector<double> photoScores;
    for (const SessionClip& photo : played.photos)
        if (played.lockLevel && photo.person == owner)
            result.photoSequences.push_back(LockReplay::replay(play(scorer, photo, played.gate, photoScores)));
    return result;
}
} // namespace

std::vector<SessionAxis::Case> SessionAxis::cases(const std::vector<SessionClip>& clips, bool twoGroups)
{
    std::vector<Case> result;
    for (std::size_t played = 0; played < clips.size(); ++played) {
        std::vector<std::size_t> others;
        for (std::size_t k = 0; k < clips.size(); ++k)
            if (k != played && clips[k].person == clips[played].person && !clips[k].group.empty())
                others.push_back(k);
        if (twoGroups && others.size() >= 2)
            result.push_back({others, played});
        for (std::size_t k = 0; !twoGroups && k < others.size(); ++k)
            result.push_back({{others[k]}, played});
    }
    return result;
}

MethodResult SessionAxis::run(const std::vector<SessionClip>& clips, const std::vector<SessionClip>& photos,
                              const std::vector<Case>& cases, const TrialProtocol::ScorerFactory& make,
                              const LivenessGate* gate, bool lockLevel, unsigned seed, int threads)
{
    const Played played{clips, photos, gate, lockLevel};
    MethodResult result =
        Parallel::scoreEach(cases.size(), threads, make, lockLevel, [&](Scorer& scorer, std::size_t c) {
            return runCase(scorer, played, cases[c], seed * kCaseSeedStride + static_cast<unsigned>(c));
        });
    if (gate)
        result.name += kGatedSuffix;
    return result;
}

} // namespace eval
