#pragma once

#include "SealDigest.h"
#include "SealRecords.h"

#include <QString>

#include <utility>
#include <vector>

// The owner's profile as root seals it, taken from what the owner's reader handed over.
struct SealedProfile
{
    ProfileFiles files;                            // in the order the digest takes them
    std::vector<int> groups;                       // the sealed groups' N, increasing
    std::vector<std::pair<int, QString>> leftOut;  // N and why (printable), increasing
};

// Requires: `folder` only names the profile in messages; nothing is read from it.
// Ensures:  the profile when the records hold features.txt, liveness.txt when present, then for
//           each group by increasing N its manifest.txt and embeddings.bin, each within its cap
//           and 16 MiB in all, and parsed again they make a profile the check takes (resnet,
//           the liveness check not off) whose every group the weights `weightsKey` select, at
//           least one; groups left out are taken with their reasons made printable.
// Throws:   CannotRun with the reader's refusal, or saying what is wrong.
SealedProfile acceptedProfile(const std::vector<SealRecord>& records, const QString& folder,
                              const QString& weightsKey);
