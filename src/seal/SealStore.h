#pragma once

#include "SealDigest.h"
#include "UniqueFd.h"

#include <QString>

#include <sys/types.h>

// The folder of sealed copies (/var/lib/visagio): for each user USER a copy USER/ of what the
// check parses (root:<group>, folders 0750, files 0640) and the seal USER.seal (root's, 0644),
// one line "visagio-seal 1 UID SHA256". While it is open it holds the flock of .lock, so that
// two seals never mix.
class SealStore
{
public:
    // Requires: root.
    // Ensures:  the folder open (made root's 0755 when missing) and locked; copies will be
    //           readable by `group`.
    // Throws:   CannotRun when the folder is not root's or is writable by others, or cannot be
    //           made, opened or locked.
    SealStore(const QString& folder, const QString& group);

    SealStore(const SealStore&) = delete;
    SealStore& operator=(const SealStore&) = delete;

    // Requires: `user` is a sealable name (SealOwner.h).
    // Ensures: USER/ holds exactly `files` (written as .USER.new, each file created anew and
    //          synced, then swapped in at once), the old copy is gone, then USER.seal records
    //          `uid` and `digest`; every step synced.
    // Throws:  CannotRun when the group does not exist, or naming the path and the system's
    //          reason when a step fails.
    void seal(const QString& user, uid_t uid, const ProfileFiles& files, const QString& digest);

    // Ensures: neither USER.seal nor USER/ exists; true when either did.
    // Throws:  CannotRun naming the path when it cannot be removed.
    bool unseal(const QString& user);

private:
    UniqueFd makeFolder(int parent, const QByteArray& name, const QString& path);
    void writeFile(int parent, const QByteArray& name, const QString& path, const QByteArray& bytes, gid_t owners,
                   mode_t mode);
    void writeCopy(const QByteArray& name, const ProfileFiles& files);
    void swapIn(const QByteArray& fresh, const QByteArray& user);
    void removeLeftovers(const QString& user);
    bool removeTree(int parent, const QByteArray& name, const QString& path);
    void sync(int fd, const QString& path);

    QString path;
    QString readerGroup;
    gid_t readers = 0;
    UniqueFd folder;
    UniqueFd lock;
};
