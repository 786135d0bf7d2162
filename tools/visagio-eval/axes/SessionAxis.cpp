#include "axes/SessionAxis.h"

#include "Parallel.h"

#include <algorithm>
#include <optional>

namespace eval {

namespace {
// Spreads the cases' training seeds apart.
constexpr unsigned kCaseSeedStride = 100003u;

// The embedding of a face when the clips carry none.
const Embedding kNoEmbedding;

// Every tick of the clip in order: each face is scored and appended to `scores`.
std::vector<std::optional<float>> play(Scorer& scorer, const SessionClip& clip, std::vector<double>& scores)
{
    std::vector<std::optional<float>> ticks;
    for (std::size_t k = 0; k < clip.ticks.size(); ++k) {
        const cv::Mat& sample = clip.ticks[k];
        if (sample.empty()) {
            ticks.emplace_back();
            continue;
        }
        const double score =
            scorer.scoreFace(sample, k < clip.tickEmbeddings.size() ? clip.tickEmbeddings[k] : kNoEmbedding);
        scores.push_back(score);
        ticks.emplace_back(static_cast<float>(score));
    }
    return ticks;
}

MethodResult runCase(Scorer& scorer, const std::vector<SessionClip>& clips, const SessionAxis::Case& c,
                         bool lockLevel, unsigned seed)
{
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
        const auto ticks = result.scoreTime.measure([&] { return play(scorer, clips[k], scores); });
        if (lockLevel)
            (genuine ? result.ownerSequences : result.impostorSequences).push_back(LockReplay::replay(ticks));
    }
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

MethodResult SessionAxis::run(const std::vector<SessionClip>& clips, const std::vector<Case>& cases,
                                      const TrialProtocol::ScorerFactory& make, bool lockLevel, unsigned seed, int threads)
{
    return Parallel::scoreEach(cases.size(), threads, make, lockLevel, [&](Scorer& scorer, std::size_t c) {
        return runCase(scorer, clips, cases[c], lockLevel, seed * kCaseSeedStride + static_cast<unsigned>(c));
    });
}

} // namespace eval
