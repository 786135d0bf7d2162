#pragma once

#include "GroupManifest.h"
#include "ProfileRules.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

// The owner profile (layout in OwnerProfile.h and GroupFolder.h) as a headless check reads it:
// read-only, trusting nothing it has not checked. The folder is reached from "/" one component
// at a time without following a link; every entry of the profile folder and of the folders in
// it is checked against ProfileRules before anything is read; each file read is opened without
// following a link, checked again through its descriptor, read once into memory under a cap
// and parsed from that buffer. Sample and chip images are checked and their presence noted,
// never read; the sealed copy needs none (a group's images are required under the home rules
// only). ".incoming-N" and ".removing-N" folders (a group the window is writing or
// deleting) are checked but not read; an entry that vanishes meanwhile counts as absent.

// One group as the check needs it.
struct CheckedGroup
{
    QString folder;            // full path of group-N
    int number = 0;            // N
    GroupManifest manifest;    // format 1 or 2
    std::vector<std::vector<float>> embeddings;  // format 2 only
};

struct CheckedProfile
{
    QString folder;
    bool sealed = false;               // read under the sealed rules (ProfileRules), else the home rules
    QString features;                  // "grbm" when features.txt is absent
    std::optional<bool> liveness;      // nullopt when liveness.txt is absent
    std::vector<CheckedGroup> groups;  // every group-N in order of N (format 1 without embeddings)
    // Every file read and parsed: its path relative to the folder and the exact bytes parsed, in
    // the order read (features.txt, liveness.txt, then by increasing N group-N/manifest.txt and
    // group-N/embeddings.bin), so that a seal can hash the very bytes the check used.
    std::vector<std::pair<QString, QByteArray>> files;
};

// Requires: nothing.
// Ensures:  the profile's contents, read without creating, locking, deleting or writing
//           anything; a relative folder is taken from the working folder.
// Throws:   ProfileRefused naming the path and the fix for a missing folder, an unsafe one
//           (ProfileRules), a damaged file or group, or a cap exceeded: features.txt and
//           liveness.txt 64 bytes, manifest.txt 4 KiB, embeddings.bin 1 MiB, 16 MiB in all,
//           100 groups, 1,000 entries in a folder.
CheckedProfile readCheckedProfile(const QString& folder, const ProfileIdentity& who);
