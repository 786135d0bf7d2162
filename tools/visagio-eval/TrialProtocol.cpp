#include "TrialProtocol.h"

#include "ProgressBar.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>

namespace eval {

namespace {
// Spreads the owners' training seeds apart.
constexpr unsigned kOwnerSeedStride = 100003u;
// How often the progress bar looks at the threads' work.
constexpr std::chrono::milliseconds kProgressPoll(200);
// The embedding of a face when the capture computed none.
const Embedding kNoEmbedding;

MethodResult emptyResult(const Scorer& scorer, bool lockLevel)
{
    MethodResult result;
    result.name = scorer.name();
    result.decisionThreshold = scorer.decisionThreshold();
    result.lockLevel = lockLevel;
    return result;
}

template <typename T>
void appendTo(std::vector<T>& to, const std::vector<T>& from)
{
    to.insert(to.end(), from.begin(), from.end());
}
} // namespace

void MethodResult::append(const MethodResult& other)
{
    appendTo(genuine, other.genuine);
    appendTo(impostor, other.impostor);
    appendTo(ownerSequences, other.ownerSequences);
    appendTo(impostorSequences, other.impostorSequences);
    appendTo(photoSequences, other.photoSequences);
    enrolTime.seconds += other.enrolTime.seconds;
    enrolTime.calls += other.enrolTime.calls;
    scoreTime.seconds += other.scoreTime.seconds;
    scoreTime.calls += other.scoreTime.calls;
}

TrialProtocol::TrialProtocol(const std::vector<Person>& people, const Options& options)
    : people(people), options(options)
{
}

int TrialProtocol::ownerCount() const
{
    return static_cast<int>(std::count_if(people.begin(), people.end(), [](const Person& p) { return p.owner(); }));
}

unsigned TrialProtocol::enrolSeed(std::size_t owner) const
{
    return options.seed * kOwnerSeedStride + static_cast<unsigned>(owner);
}

MethodResult TrialProtocol::evaluate(Scorer& scorer, bool lockLevel) const
{
    MethodResult result = emptyResult(scorer, lockLevel);
    ProgressBar progress(scorer.name(), ownerCount());
    long done = 0;
    for (std::size_t o = 0; o < people.size(); ++o) {
        if (!people[o].owner())
            continue;
        result.append(evaluateOwner(scorer, o, lockLevel));
        progress.update(++done);
    }
    progress.finish();
    return result;
}

// Thread t takes the owners t, t + threads, ...; the owners' results are joined in owner order.
MethodResult TrialProtocol::evaluate(const ScorerFactory& make, bool lockLevel, int threads) const
{
    const auto count = static_cast<std::size_t>(std::max(threads, 1));
    std::vector<std::unique_ptr<Scorer>> scorers;
    for (std::size_t t = 0; t < count; ++t)
        scorers.push_back(make());
    std::vector<MethodResult> perOwner(people.size());
    std::atomic<long> done{0};
    std::vector<std::future<void>> work;
    for (std::size_t t = 0; t < count; ++t)
        work.push_back(std::async(std::launch::async, [&, t] {
            for (std::size_t o = t; o < people.size(); o += count)
                if (people[o].owner()) {
                    perOwner[o] = evaluateOwner(*scorers[t], o, lockLevel);
                    ++done;
                }
        }));
    ProgressBar progress(scorers.front()->name(), ownerCount());
    for (std::future<void>& thread : work) {
        while (thread.wait_for(kProgressPoll) != std::future_status::ready)
            progress.update(done);
        thread.get();
    }
    progress.finish();
    MethodResult result = emptyResult(*scorers.front(), lockLevel);
    for (const MethodResult& owner : perOwner)
        result.append(owner);
    return result;
}

MethodResult TrialProtocol::evaluateOwner(Scorer& scorer, std::size_t o, bool lockLevel) const
{
    MethodResult result;
    result.enrolTime.measure([&] { scorer.enrolFaces(people[o].groups, people[o].groupEmbeddings, enrolSeed(o)); });
    for (std::size_t p = 0; p < people.size(); ++p) {
        const bool genuine = p == o;
        const Trials trials = scoreTrials(scorer, result.scoreTime, people[p], genuine, lockLevel);
        appendTo(genuine ? result.genuine : result.impostor, trials.plain);
        if (lockLevel && !trials.ticks.empty())
            (genuine ? result.ownerSequences : result.impostorSequences).push_back(LockReplay::replay(trials.ticks));
    }
    return result;
}

// The person's trial photographs in order: the photographs left after enrolment for the
// owner, every photograph (or the first impostorPhotos) for anyone else.
TrialProtocol::Trials TrialProtocol::scoreTrials(Scorer& scorer, StageTime& time, const Person& person,
                                     bool genuine, bool lockLevel) const
{
    Trials trials;
    std::size_t taken = 0;
    for (const Photo& photo : person.photos) {
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
void TrialProtocol::holdPhoto(Scorer& scorer, StageTime& time, const Photo& photo, bool inSequence,
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
        const Embedding& embedding = frame < photo.embeddings.size() ? photo.embeddings[frame] : kNoEmbedding;
        const double score = time.measure([&] { return scorer.scoreFace(photo.frames[frame], embedding); });
        if (f == 0)
            trials.plain.push_back(score);
        if (tick)
            trials.ticks.push_back(static_cast<float>(score));
    }
}

} // namespace eval
