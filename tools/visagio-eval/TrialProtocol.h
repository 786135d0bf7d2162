#pragma once

#include "Capture.h"
#include "LockReplay.h"
#include "Options.h"
#include "scorers/Scorer.h"
#include "StageTime.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace eval {

// Everything one method scored in a run.
struct MethodResult
{
    std::string name;
    std::optional<double> decisionThreshold;
    std::vector<double> genuine;  // owner against the owner's own later photographs
    std::vector<double> impostor; // owner against the photographs of everyone else
    StageTime enrolTime;      // per owner
    StageTime scoreTime;      // per face
    // Lock level (only for methods replayed through the lock): one outcome per owner over the
    // owner's own sequence, one per (owner, other person) over that person's sequence.
    bool lockLevel = false;
    std::vector<LockOutcome> ownerSequences;
    std::vector<LockOutcome> impostorSequences;
    // Session axis: one per (enrolment, printed-photo session of its owner) played as the camera.
    std::vector<LockOutcome> photoSequences;

    // Ensures: the other result's trials, sequences and times appended to this one's.
    void append(const MethodResult& other);
};

// The trial protocol over captured people: every owner (a person with an enrolment group and
// photographs left over) is enrolled from its group; its remaining photographs are genuine
// trials, the photographs of every other person impostor trials. A trial scores the photograph
// as found (frame 0). For the lock level each person's photographs also form a camera
// sequence, each held for several slightly moved frames, capped in length.
class TrialProtocol
{
public:
    using ScorerFactory = std::function<std::unique_ptr<Scorer>()>;

    TrialProtocol(const std::vector<Person>& people, const Options& options);

    // Ensures: the scores of every trial in a fixed order (owners in turn, then people and
    //          photographs in order); with lockLevel also the lock outcome of every sequence.
    //          Shows a progress bar.
    MethodResult evaluate(Scorer& scorer, bool lockLevel) const;
    // The same, the owners shared out over `threads` threads, each with a scorer of its own
    // made by `make` on the calling thread. The scores do not depend on the thread count.
    // Throws: what a scorer throws.
    MethodResult evaluate(const ScorerFactory& make, bool lockLevel, int threads) const;

    int ownerCount() const;

private:
    struct Trials
    {
        std::vector<double> plain;
        std::vector<std::optional<float>> ticks;
    };

    MethodResult evaluateOwner(Scorer& scorer, std::size_t owner, bool lockLevel) const;
    Trials scoreTrials(Scorer& scorer, StageTime& time, const Person& person, bool genuine,
                       bool lockLevel) const;
    void holdPhoto(Scorer& scorer, StageTime& time, const Photo& photo, bool inSequence,
                   bool lockLevel, Trials& trials) const;
    unsigned enrolSeed(std::size_t owner) const;

    const std::vector<Person>& people;
    Options options;
};

} // namespace eval
