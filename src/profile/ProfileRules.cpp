#include "ProfileRules.h"

namespace {
constexpr uid_t kRoot = 0;
// Permission bits of group and others, and their write bits.
constexpr mode_t kGroupOtherBits = 077;
constexpr mode_t kGroupOtherRead = 044;
constexpr mode_t kGroupOtherWrite = 022;
// Permission bits with set-id and sticky bits, as chmod takes them.
constexpr mode_t kModeBits = 07777;
// The sealed copy: root's, readable (folders also searchable) by the user's group alone, in a
// folder anyone may search but only root may change.
constexpr mode_t kSealedFolderMode = 0750;
constexpr mode_t kSealedFileMode = 0640;
constexpr mode_t kSealedParentMode = 0755;

QString octal(mode_t mode)
{
    return QString("%1").arg(unsigned(mode & kModeBits), 4, 8, QLatin1Char('0'));
}

// What group or others may do with an entry whose mode gives them some permission.
QString exposure(mode_t mode, bool folder)
{
    if (mode & kGroupOtherRead)
        return "can be read by others";
    if (mode & kGroupOtherWrite)
        return "can be changed by others";
    return folder ? "can be entered by others" : "can be run by others";
}

bool rightType(const struct stat& status, ProfileEntry kind)
{
    return kind == ProfileEntry::Folder ? S_ISDIR(status.st_mode) : S_ISREG(status.st_mode);
}
}  // namespace

QString shellQuoted(const QString& path)
{
    QString quoted = path;
    return "'" + quoted.replace("'", "'\\''") + "'";
}

void refuseProfile(const QString& message)
{
    throw ProfileRefused(message.toStdString());
}

ProfileRules::ProfileRules(const QString& folder, const struct stat& status, const ProfileIdentity& who)
    : who(who)
{
    if (status.st_uid == who.uid)
        return;
    if (status.st_uid != kRoot)
        refuseProfile(shellQuoted(folder) + " belongs to uid " + QString::number(status.st_uid) +
                      ", neither to you (uid " + QString::number(who.uid) +
                      ") nor to root; use a profile of your own");
    isSealed = true;
}

bool ProfileRules::sealed() const
{
    return isSealed;
}

void ProfileRules::checkAbove(const QString& path, const struct stat& status, bool isParent) const
{
    const QString quoted = shellQuoted(path);
    if (isSealed && status.st_uid != kRoot)
        refuseProfile(quoted + " belongs to uid " + QString::number(status.st_uid) +
                      "; every folder above a sealed profile must belong to root: chown root " + quoted);
    if (!isSealed && status.st_uid != kRoot && status.st_uid != who.uid)
        refuseProfile(quoted + " belongs to uid " + QString::number(status.st_uid) +
                      ", neither to you nor to root; keep the profile in folders only you or root can change");
    if (isSealed && isParent && (status.st_mode & kModeBits) != kSealedParentMode)
        refuseProfile(quoted + " has mode " + octal(status.st_mode) +
                      "; the folder holding a sealed profile needs 0755: chmod 755 " + quoted);
    // Nobody can rename or delete root's entries in a root-owned sticky folder (/tmp).
    const bool rootSticky = status.st_uid == kRoot && (status.st_mode & S_ISVTX);
    if ((status.st_mode & kGroupOtherWrite) && !rootSticky)
        refuseProfile(quoted + " is writable by its group or others; chmod go-w " + quoted);
}

void ProfileRules::checkEntry(const QString& path, const struct stat& status, ProfileEntry kind) const
{
    checkType(path, status, kind);
    const QString quoted = shellQuoted(path);
    if (kind != ProfileEntry::Folder && status.st_nlink != 1)
        refuseProfile(quoted + " has " + QString::number(status.st_nlink) +
                      " hard links; a profile file must have one: replace it by a copy: cp -p " + quoted + " " +
                      shellQuoted(path + ".copy") + " && mv " + shellQuoted(path + ".copy") + " " + quoted);
    if (isSealed)
        checkSealedEntry(path, status, kind);
    else
        checkHomeEntry(path, status, kind);
}

void ProfileRules::checkType(const QString& path, const struct stat& status, ProfileEntry kind) const
{
    const QString quoted = shellQuoted(path);
    if (S_ISLNK(status.st_mode))
        refuseProfile(quoted + " is a symbolic link; the profile must hold real files and folders only: rm " + quoted);
    if (kind == ProfileEntry::Folder && !rightType(status, kind))
        refuseProfile(quoted + " is not a folder; the profile must be a real folder");
    if (!rightType(status, kind))
        refuseProfile(quoted + " is not a regular file; remove it from the profile: rm " +
                      (S_ISDIR(status.st_mode) ? "-r " : "") + quoted);
}

void ProfileRules::checkHomeEntry(const QString& path, const struct stat& status, ProfileEntry kind) const
{
    const QString quoted = shellQuoted(path);
    if (status.st_uid != who.uid)
        refuseProfile(quoted + " belongs to uid " + QString::number(status.st_uid) + ", not to you (uid " +
                      QString::number(who.uid) + "); the profile must be yours alone: chown " +
                      QString::number(who.uid) + " " + quoted);
    const bool folder = kind == ProfileEntry::Folder;
    if (kind != ProfileEntry::LockFile && (status.st_mode & kGroupOtherBits))
        refuseProfile(quoted + " " + exposure(status.st_mode, folder) + "; make it private: chmod " +
                      (folder ? "700 " : "600 ") + quoted);
}

void ProfileRules::checkSealedEntry(const QString& path, const struct stat& status, ProfileEntry kind) const
{
    const QString quoted = shellQuoted(path);
    const QString group = QString::number(who.gid);
    if (status.st_uid != kRoot)
        refuseProfile(quoted + " belongs to uid " + QString::number(status.st_uid) +
                      "; a sealed profile belongs to root: chown root:" + group + " " + quoted);
    if (kind == ProfileEntry::LockFile)
        return;
    if (status.st_gid != who.gid)
        refuseProfile(quoted + " has group " + QString::number(status.st_gid) + "; a sealed profile has your group " +
                      group + ": chgrp " + group + " " + quoted);
    const bool folder = kind == ProfileEntry::Folder;
    const mode_t expected = folder ? kSealedFolderMode : kSealedFileMode;
    if ((status.st_mode & kModeBits) != expected)
        refuseProfile(quoted + " has mode " + octal(status.st_mode) + "; a sealed profile needs " + octal(expected) +
                      ": chmod " + (folder ? "750 " : "640 ") + quoted);
}
