#pragma once

#include "ProfileReader.h"

#include <QString>

#include <vector>

// What the headless check demands of a profile before it loads a model or opens the camera.

// Requires: profile was read by readCheckedProfile.
// Ensures:  nothing when the profile chose the face-resnet with the liveness check on (or left
//           the check at resnet's default, on) and holds a group enrolled for resnet.
// Throws:   CannotRun naming the profile and what to do otherwise: the GRBM model lets
//           same-room strangers in, and without the liveness check a printed photograph of
//           the owner opens the lock.
void requireResnetWithLiveness(const CheckedProfile& profile);

// The stored embeddings of every group the network with weights `weightsKey` made, in group
// order. Groups of other weights are skipped and logged (their chips would cost seconds to
// embed again).
// Throws: CannotRun when no group is left.
std::vector<std::vector<std::vector<float>>> groupsOfWeights(const CheckedProfile& profile, const QString& weightsKey);
