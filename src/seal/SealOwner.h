#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>
#include <vector>

// The user who asks, under sudo, to seal (or unseal) their profile.
struct SealOwner
{
    uid_t uid = 0;
    gid_t gid = 0;
    QString name;                 // pw_name: the sealed copy's and the seal's file names
    QByteArray home;              // pw_dir
    std::vector<gid_t> groups;    // supplementary groups, looked up before any fork
};

// Requires: nothing.
// Ensures:  the owner named by SUDO_UID when this process runs as root (euid 0).
// Throws:   CannotRun saying what is wrong and what to do when the effective user is not root,
//           SUDO_UID is unset, not a plain decimal number, 0, or not in the user database,
//           the account's name does not match [a-z_][a-z0-9_.-]{0,31} with an optional final $
//           or ends in ".seal", or its groups cannot be listed.
SealOwner sealOwner();

// Ensures: whether `name` may name files of the seal folder (the rule above).
bool isSealableName(const QString& name);
