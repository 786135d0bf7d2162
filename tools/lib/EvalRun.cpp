#include "EvalRun.h"

#include "ProgressBar.h"

#include <algorithm>

namespace {
// Spreads the owners' training seeds apart.
constexpr unsigned kOwnerSeedStride = 100003u;
} // namespace

EvalRun::EvalRun(const std::vector<EvalPerson>& people, const EvalOptions& options)
    : people(people), options(options)
{
}

int EvalRun::ownerCount() const
{
    return static_cast<int>(std::count_if(people.begin(), people.end(), [](const EvalPerson& p) { return p.owner(); }));
}

unsigned EvalRun::enrolSeed(std::size_t owner) const
{
    return options.seed * kOwnerSeedStride + static_cast<unsigned>(owner);
}

EvalMethodResult EvalRun::evaluate(EvalScorer& scorer, bool lockLevel) const
{
    EvalMethodResult result;
    result.name = scorer.name();
    result.decisionThreshold = scorer.decisionThreshold();
    result.lockLevel = lockLevel;
    ProgressBar progress(scorer.name(), ownerCount());
    long done = 0;
    for (std::size_t o = 0; o < people.size(); ++o) {
        const EvalPerson& owner = people[o];
        if (!owner.owner())
            continue;
        result.enrolTime.measure([&] { scorer.enrol(owner.group, enrolSeed(o)); });
        for (std::size_t p = 0; p < people.size(); ++p) {
            const bool genuine = p == o;
            const Trials trials = scoreTrials(scorer, result.scoreTime, people[p], genuine, lockLevel);
            auto& scores = genuine ? result.genuine : result.impostor;
            scores.insert(scores.end(), trials.plain.begin(), trials.plain.end());
            if (lockLevel && !trials.ticks.empty())
                (genuine ? result.ownerSequences : result.impostorSequences)
                    .push_back(EvalLockReplay::replay(trials.ticks));
        }
        progress.update(++done);
    }
    progress.finish();
    return result;
}

// The person's trial photographs in order: the photographs left after enrolment for the
// owner, every photograph (or the first impostorPhotos) for anyone else.
EvalRun::Trials EvalRun::scoreTrials(EvalScorer& scorer, EvalStageTime& time, const EvalPerson& person,
                                     bool genuine, bool lockLevel) const
{
    Trials trials;
    std::size_t taken = 0;
    for (const EvalPhoto& photo : person.photos) {
        if (genuine && photo.enrolment)
            continue;
        if (!genuine && options.impostorPhotos > 0 && taken == static_cast<std::size_t>(options.impostorPhotos))
            break;
        ++taken;
        const bool inSequence = trials.ticks.size() < static_cast<std::size_t>(options.maxSequenceFrames);
        holdPhoto(scorer, time, photo, inSequence, lockLevel, trials);
    }
    return trials;
}

// A photograph in front of the camera: frame 0 is the trial; in a sequence every frame is a
// tick (no face: a tick that lets the confidence decay), up to the sequence's length.
void EvalRun::holdPhoto(EvalScorer& scorer, EvalStageTime& time, const EvalPhoto& photo, bool inSequence,
                        bool lockLevel, Trials& trials) const
{
    const auto limit = static_cast<std::size_t>(options.maxSequenceFrames);
    for (int f = 0; f < options.framesPerPhoto; ++f) {
        const bool tick = lockLevel && inSequence && trials.ticks.size() < limit;
        const auto frame = static_cast<std::size_t>(f);
        const bool face = frame < photo.frames.size() && !photo.frames[frame].empty();
        if (!(tick || (f == 0 && face)))
            break;
        if (!face) {
            trials.ticks.push_back(std::nullopt);
            continue;
        }
        const double score = time.measure([&] { return scorer.score(photo.frames[frame]); });
        if (f == 0)
            trials.plain.push_back(score);
        if (tick)
            trials.ticks.push_back(static_cast<float>(score));
    }
}
