#pragma once

#include "LivenessFaces.h"

#include <string>
#include <vector>

// The liveness check measured only on faces it was not trained on. Its threshold is fixed on
// the training faces alone: each training person in turn is left out of an inner training and
// scored by it, and the threshold lets `photoPass` of those held-out photographs through.
struct LivenessProtocol
{
    double l2 = 10.0;
    double photoPass = 0.03;
};

// A face judged by a check trained without it.
struct HeldOutJudgement
{
    const LivenessFace* face = nullptr;
    float margin = 0;
    float threshold = 0;

    bool judgedLive() const { return margin >= threshold; }
};

// Requires: train holds live faces and photographs of at least two people.
// Ensures:  the threshold the inner leave-one-person-out gives on `train`.
float nestedThreshold(const std::vector<const LivenessFace*>& train, const LivenessProtocol& protocol);

// Ensures: every face of `test` judged by the check trained on `train` with its nested threshold.
std::vector<HeldOutJudgement> judgeHeldOut(const std::vector<const LivenessFace*>& train,
                                           const std::vector<const LivenessFace*>& test,
                                           const LivenessProtocol& protocol);

// Each person in turn held out of training: every face judged once.
std::vector<HeldOutJudgement> leaveOnePersonOut(const std::vector<const LivenessFace*>& faces,
                                                const LivenessProtocol& protocol);

// For each person with live faces in several sessions, each of those sessions in turn held out
// (its live faces and photographs; everything else trains): those sessions' faces judged.
std::vector<HeldOutJudgement> leaveOneSessionOut(const std::vector<const LivenessFace*>& faces,
                                                 const LivenessProtocol& protocol);

// Each judgement's margin replaced by the mean of the last `faces` margins of its session (the
// same person, session and kind, in the order given), as a window could smooth the check.
std::vector<HeldOutJudgement> averagedOverFaces(const std::vector<HeldOutJudgement>& judgements, int faces);

// The area under the ROC curve of the margins (live above photographs), ties counting half.
double livenessAuc(const std::vector<HeldOutJudgement>& judgements);

// The faces whose light the check judges (FaceLight reports no problem).
std::vector<const LivenessFace*> judgedFaces(const std::vector<LivenessFace>& faces);
