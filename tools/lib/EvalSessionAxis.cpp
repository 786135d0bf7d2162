#include "EvalSessionAxis.h"

#include "EvalParallel.h"

#include <algorithm>
#include <optional>

namespace {
// Spreads the cases' training seeds apart.
constexpr unsigned kCaseSeedStride = 100003u;

// Every tick of the clip in order: each face is scored and appended to `scores`.
std::vector<std::optional<float>> play(EvalScorer& scorer, const SessionClip& clip, std::vector<double>& scores)
{
    std::vector<std::optional<float>> ticks;
    for (const cv::Mat& sample : clip.ticks) {
        if (sample.empty()) {
            ticks.emplace_back();
            continue;
        }
        const double score = scorer.score(sample);
        scores.push_back(score);
        ticks.emplace_back(static_cast<float>(score));
    }
    return ticks;
}

EvalMethodResult runCase(EvalScorer& scorer, const std::vector<SessionClip>& clips, const EvalSessionAxis::Case& c,
                         bool lockLevel, unsigned seed)
{
    EvalMethodResult result;
    std::vector<std::vector<cv::Mat>> groups;
    for (std::size_t k : c.enrolled)
        groups.push_back(clips[k].group);
    result.enrolTime.measure([&] { scorer.enrolGroups(groups, seed); });
    const std::string& owner = clips[c.played].person;
    for (std::size_t k = 0; k < clips.size(); ++k) {
        const bool genuine = k == c.played;
        if (!genuine && clips[k].person == owner)
            continue;
        std::vector<double>& scores = genuine ? result.genuine : result.impostor;
        const auto ticks = result.scoreTime.measure([&] { return play(scorer, clips[k], scores); });
        if (lockLevel)
            (genuine ? result.ownerSequences : result.impostorSequences).push_back(EvalLockReplay::replay(ticks));
    }
    return result;
}
} // namespace

std::vector<EvalSessionAxis::Case> EvalSessionAxis::cases(const std::vector<SessionClip>& clips, bool twoGroups)
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

EvalMethodResult EvalSessionAxis::run(const std::vector<SessionClip>& clips, const std::vector<Case>& cases,
                                      const EvalRun::ScorerFactory& make, bool lockLevel, unsigned seed, int threads)
{
    return EvalParallel::scoreEach(cases.size(), threads, make, lockLevel, [&](EvalScorer& scorer, std::size_t c) {
        return runCase(scorer, clips, cases[c], lockLevel, seed * kCaseSeedStride + static_cast<unsigned>(c));
    });
}
