#pragma once

#include "CheckProfile.h"

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

// What a seal covers: the files the check parses for the groups it uses, and their digest.

using ProfileFiles = std::vector<std::pair<QString, QByteArray>>;

// Ensures: of profile.files, in their order, features.txt, liveness.txt when present and, for
//          each selected group, group-N/manifest.txt and group-N/embeddings.bin: the bytes the
//          reader parsed, never read again. Left-out groups are not among them.
ProfileFiles sealedFiles(const CheckedProfile& profile, const GroupSelection& selection);

// Ensures: the lower-case hex SHA-256 over, for each file in order, its relative path, a NUL
//          byte, its length in decimal, a newline and its bytes: the digest a seal records.
QString sealDigest(const ProfileFiles& files);
