#pragma once

#include "axes/SessionClips.h"
#include "TrialProtocol.h"

#include <string>
#include <vector>

namespace eval {

// The owner on another day: a person enrolled from one or two recorded sessions, then another
// session of theirs played as the camera (every frame a tick, in order), and every session of
// every other person played in front of the same enrolment as strangers.
class SessionAxis
{
public:
    struct Case
    {
        std::vector<std::size_t> enrolled; // clips giving one enrolment group each
        std::size_t played = 0;            // the owner's clip played as the camera
    };

    // With one group: a case for every person and ordered pair of their sessions (enrol from
    // the first, play the second). With two: a case for every person and held-out session,
    // enrolled from each of their other sessions. Clips without an enrolment group enrol nobody.
    static std::vector<Case> cases(const std::vector<SessionClip>& clips, bool twoGroups);

    // Requires: every case's clips are in `clips` and share one person.
    // Ensures:  genuine = every face of the played clips, impostor = every face of every other
    //           person's clip, pooled over the cases in case order; with lockLevel one owner
    //           sequence a case and one stranger sequence a (case, stranger clip). The result
    //           does not depend on the thread count.
    static MethodResult run(const std::vector<SessionClip>& clips, const std::vector<Case>& cases,
                                const TrialProtocol::ScorerFactory& make, bool lockLevel, unsigned seed, int threads);
};

} // namespace eval
