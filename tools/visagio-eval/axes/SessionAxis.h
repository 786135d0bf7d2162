#pragma once

#include "axes/LivenessGate.h"
#include "axes/SessionClips.h"
#include "TrialProtocol.h"

#include <string>
#include <vector>

namespace eval {

// The owner on another day: a person enrolled from one or two recorded sessions, then another
// session of theirs played as the camera (every frame a tick, in order), and every session of
// every other person played in front of the same enrolment as strangers; and the owner's
// printed photographs played in front of it as an attack. With a liveness gate each face first
// passes the window's liveness check, as the window applies it.
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

    // Requires: every case's clips are in `clips` and share one person; with a gate, the clips
    //           and photos carry their liveness features and the gate a check for their people.
    // Ensures:  genuine = every face of the played clips, impostor = every face of every other
    //           person's clip, pooled over the cases in case order; with lockLevel one owner
    //           sequence a case, one stranger sequence a (case, stranger clip) and one photo
    //           sequence a (case, photo clip of the owner). With a gate a face whose light it
    //           does not judge is a tick without a face, one it judges a photograph scores 0,
    //           and the result's name says so. The result does not depend on the thread count.
    // Throws:   std::logic_error("the liveness gate needs the clips' liveness features").
    static MethodResult run(const std::vector<SessionClip>& clips, const std::vector<SessionClip>& photos,
                            const std::vector<Case>& cases, const TrialProtocol::ScorerFactory& make,
                            const LivenessGate* gate, bool lockLevel, unsigned seed, int threads);
};

} // namespace eval
