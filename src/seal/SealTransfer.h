#pragma once

#include "SealAcceptance.h"
#include "SealOwner.h"

#include <QString>

// The owner's profile as root may seal it: read by a child that has become the owner, handed
// over a pipe, and checked again by root (SealAcceptance.h), who never opens a path under the
// owner's home.
// Requires: root, single-threaded (the child forks without exec).
// Ensures:  a forked child drops to the owner's uid, gid and groups before it opens anything,
//           reads pw_dir/.local/share/visagio under the home rules and caps, and pipes over the
//           files of the groups that weights `weightsKey` select (SealDigest.h); this process
//           accepts only those names, in that order, within the caps, and parses them again:
//           features resnet, the liveness check not off, every group sound and selected, at
//           least one.
// Throws:   CannotRun with the child's refusal, or saying what root found wrong.
SealedProfile readOwnerProfile(const SealOwner& owner, const QString& weightsKey);
