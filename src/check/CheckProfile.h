#pragma once

#include "ProfileReader.h"

#include <QString>

#include <utility>
#include <vector>

// What the headless check demands of a profile before it loads a model or opens the camera.

// Requires: profile was read by readCheckedProfile (or rebuilt from the same files).
// Ensures:  nothing when the profile chose the face-resnet with the liveness check on (or left
//           the check at resnet's default, on) and holds a group enrolled for resnet.
// Throws:   CannotRun naming the profile and what to do otherwise: the GRBM model lets
//           same-room strangers in, and without the liveness check a printed photograph of
//           the owner opens the lock.
void requireResnetWithLiveness(const CheckedProfile& profile);

// The groups a check runs on, and those it leaves out with the reason.
struct GroupSelection
{
    std::vector<const CheckedGroup*> used;         // in order of N
    std::vector<std::pair<int, QString>> leftOut;  // N and why, in order of N
};

// The one choice of groups that the check, its seal and the check of the seal share: format 2
// groups whose embeddings the network with weights `weightsKey` made from chips the landmark
// aligner cut. Other groups would cost seconds to embed again, or match chips cut otherwise.
// Requires: profile outlives the selection.
// Throws:   CannotRun naming the profile when no group is left.
GroupSelection selectGroups(const CheckedProfile& profile, const QString& weightsKey);

// The stored embeddings of the selected groups, in group order; each left-out group is logged.
std::vector<std::vector<std::vector<float>>> groupsOfWeights(const CheckedProfile& profile, const QString& weightsKey);
