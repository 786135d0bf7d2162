#pragma once

#include "axes/SessionClips.h"
#include "LivenessCheck.h"
#include "LivenessFaces.h"
#include "LivenessModel.h"

#include <map>
#include <string>
#include <vector>

namespace eval {

// The window's liveness check in front of the face match, for the session axis: one check for
// each person in front of the camera, trained as the shipped check is but without that person,
// so that no face is judged by a check that saw its person.
class LivenessGate
{
public:
    struct Check
    {
        LivenessModel model; // its threshold fixed on the training faces alone
        int liveFaces = 0;   // faces it was trained on
        int photoFaces = 0;
    };

    explicit LivenessGate(std::map<std::string, Check> checks);

    // Requires: set holds live faces and photographs of at least two people besides each of `people`.
    // Ensures:  for each of `people` the check trained with LivenessProtocol's defaults on the
    //           faces of `set` of everyone else whose light it judges, its threshold the nested
    //           leave-one-person-out one; `threads` threads share the people out.
    static LivenessGate heldOut(const LivenessFaceSet& set, const std::vector<std::string>& people, int threads);

    // Ensures:  the window's verdict on a face of `person` lit as `light`: PoorLight for a light
    //           problem, else Live or Photo by that person's check.
    // Throws:   std::out_of_range("no liveness check for <person>"); std::logic_error from
    //           LivenessModel::margin when the features do not fit.
    LivenessCheck::Verdict judge(const std::string& person, FaceLight::Problem light,
                                 const std::vector<float>& features) const;

    // A row a person: the check's training faces and threshold, and its verdicts on the faces
    // of that person's webcam sessions (`clips`) and printed-photo sessions (`photos`), then the
    // verdicts pooled: live faces judged photographs (BPCER), photo faces judged live (APCER).
    // Requires: the clips carry their liveness features.
    std::string markdown(const std::vector<SessionClip>& clips, const std::vector<SessionClip>& photos) const;

private:
    std::map<std::string, Check> checks;
};

} // namespace eval
