#pragma once

#include "Errors.h"

#include <QString>

#include <sys/stat.h>
#include <sys/types.h>

// The identity the rules are checked for (normally geteuid(), getegid()).
struct ProfileIdentity
{
    uid_t uid;
    gid_t gid;
};

// Thrown when the profile must not be used; the message names the path and, where there is
// one, the fix.
class ProfileRefused : public e_logic_argument
{
public:
    using e_logic_argument::e_logic_argument;
};

// What an entry of the profile is meant to be. The lock file is checked for its type, owner
// and links only: QLockFile makes it with the umask's mode, and it holds no secret.
enum class ProfileEntry { Folder, File, LockFile };

// Who may have changed an owner profile, judged from the status of its folders and files
// before a check trusts them. The owner of the profile folder picks the rules:
//   home    the folder belongs to the checking user: every folder and file is the user's and
//           private (no permission for group or others), every file regular with one link;
//   sealed  the folder belongs to root and the user is not root (the copy a login uses):
//           folders root:<user's group> 0750, files root:<user's group> 0640, the folder
//           holding the profile root's with mode 0755, every folder above it root's.
// Under both, no folder above the profile is writable by group or others, except a root-owned
// sticky one such as /tmp, and under the home rules each belongs to root or to the user.
class ProfileRules
{
public:
    // Requires: status is the profile folder's (not following a link).
    // Throws:   ProfileRefused naming the folder when it belongs neither to who nor to root.
    ProfileRules(const QString& folder, const struct stat& status, const ProfileIdentity& who);

    bool sealed() const;

    // A folder above the profile, from "/" down to the profile's parent (isParent).
    // Throws: ProfileRefused naming the folder and the fix when it breaks the rules.
    void checkAbove(const QString& path, const struct stat& status, bool isParent) const;

    // The profile folder, or a folder or file inside it (status not following a link).
    // Throws: ProfileRefused naming the entry and the fix when it breaks the rules: a symbolic
    //         link, another type, another owner (or group), a mode too open, a second link.
    void checkEntry(const QString& path, const struct stat& status, ProfileEntry kind) const;

private:
    void checkType(const QString& path, const struct stat& status, ProfileEntry kind) const;
    void checkHomeEntry(const QString& path, const struct stat& status, ProfileEntry kind) const;
    void checkSealedEntry(const QString& path, const struct stat& status, ProfileEntry kind) const;

    ProfileIdentity who;
    bool isSealed = false;
};

// Ensures: `path` in single quotes, each quote in it escaped, so that a command quoting it can
//          be pasted into a shell as it is.
QString shellQuoted(const QString& path);

// Throws: ProfileRefused with `message`.
[[noreturn]] void refuseProfile(const QString& message);
