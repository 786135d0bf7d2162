#include "SealStore.h"

#include "CheckAnswer.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <vector>

namespace {
constexpr mode_t kStoreMode = 0755;
constexpr mode_t kCopyFolderMode = 0750;
constexpr mode_t kCopyFileMode = 0640;
constexpr mode_t kSealMode = 0644;
constexpr mode_t kGroupOtherWrite = 022;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
const char* const kLockName = ".lock";
const char* const kSealFormat = "visagio-seal 1";

[[noreturn]] void failed(const QString& what, const QString& path)
{
    cannotRun(what + " " + path + " (" + QString::fromLocal8Bit(std::strerror(errno)) + ")");
}

QString joined(const QString& folder, const QByteArray& name)
{
    return folder + "/" + QFile::decodeName(name);
}

QByteArray hidden(const QString& user, const char* suffix)
{
    return "." + QFile::encodeName(user) + suffix;
}

UniqueFd openStore(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), kStoreMode) == 0 && ::chmod(native.constData(), kStoreMode) != 0)
        failed("cannot make", path);
    UniqueFd folder(::open(native.constData(), kFolderFlags));
    if (folder.get() < 0)
        failed("cannot open", path);
    struct stat status = {};
    if (::fstat(folder.get(), &status) != 0)
        failed("cannot read", path);
    // A login trusts the copies only in a folder nobody but root can change.
    if (status.st_uid != 0 || (status.st_mode & kGroupOtherWrite))
        cannotRun(path + " must belong to root and be writable by root alone: chown root " + path +
                  " && chmod 755 " + path);
    return folder;
}

gid_t groupId(const QString& name)
{
    const group* found = ::getgrnam(name.toLocal8Bit().constData());
    if (!found)
        cannotRun("the group " + name + " does not exist; install visagio again, which adds it");
    return found->gr_gid;
}
}  // namespace

SealStore::SealStore(const QString& folder, const QString& group)
    : path(folder), readerGroup(group), folder(openStore(folder))
{
    lock = UniqueFd(::openat(this->folder.get(), kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (lock.get() < 0)
        failed("cannot open", joined(path, kLockName));
    while (::flock(lock.get(), LOCK_EX) != 0)
        if (errno != EINTR)
            failed("cannot lock", joined(path, kLockName));
}

void SealStore::seal(const QString& user, uid_t uid, const ProfileFiles& files, const QString& digest)
{
    readers = groupId(readerGroup);
    removeLeftovers(user);
    const QByteArray fresh = hidden(user, ".new");
    writeCopy(fresh, files);
    swapIn(fresh, QFile::encodeName(user));
    const QByteArray sealName = QFile::encodeName(user + ".seal");
    const QByteArray temporary = hidden(user, ".seal.new");
    const QByteArray line = QByteArray(kSealFormat) + " " + QByteArray::number(uid) + " " + digest.toLatin1() + "\n";
    writeFile(folder.get(), temporary, joined(path, temporary), line, 0, kSealMode);
    if (::renameat(folder.get(), temporary.constData(), folder.get(), sealName.constData()) != 0)
        failed("cannot rename to", joined(path, sealName));
    sync(folder.get(), path);
}

bool SealStore::unseal(const QString& user)
{
    removeLeftovers(user);
    // The seal goes first: without it no login trusts what is left of the copy.
    const bool hadSeal = removeTree(folder.get(), QFile::encodeName(user + ".seal"), path);
    const bool hadCopy = removeTree(folder.get(), QFile::encodeName(user), path);
    sync(folder.get(), path);
    return hadSeal || hadCopy;
}

UniqueFd SealStore::makeFolder(int parent, const QByteArray& name, const QString& where)
{
    if (::mkdirat(parent, name.constData(), kCopyFolderMode) != 0)
        failed("cannot make", where);
    UniqueFd made(::openat(parent, name.constData(), kFolderFlags));
    if (made.get() < 0 || ::fchown(made.get(), 0, readers) != 0 || ::fchmod(made.get(), kCopyFolderMode) != 0)
        failed("cannot set up", where);
    return made;
}

void SealStore::writeFile(int parent, const QByteArray& name, const QString& where, const QByteArray& bytes,
                          gid_t owners, mode_t mode)
{
    const UniqueFd file(::openat(parent, name.constData(), kCreateFlags, mode));
    if (file.get() < 0 || ::fchown(file.get(), 0, owners) != 0 || ::fchmod(file.get(), mode) != 0)
        failed("cannot create", where);
    for (qint64 done = 0; done < bytes.size();) {
        const ssize_t wrote = ::write(file.get(), bytes.constData() + done, std::size_t(bytes.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            failed("cannot write", where);
        done += wrote;
    }
    sync(file.get(), where);
}

// The copy as `name`: the files in their folders, each folder synced once it is complete.
void SealStore::writeCopy(const QByteArray& name, const ProfileFiles& files)
{
    const QString copyPath = joined(path, name);
    const UniqueFd copy = makeFolder(folder.get(), name, copyPath);
    UniqueFd group;
    QByteArray groupName;
    for (const auto& [relative, bytes] : files) {
        const QByteArray native = QFile::encodeName(relative);
        const int slash = native.indexOf('/');
        if (slash > 0 && native.left(slash) != groupName) {
            if (group.get() >= 0)
                sync(group.get(), joined(copyPath, groupName));
            groupName = native.left(slash);
            group = makeFolder(copy.get(), groupName, joined(copyPath, groupName));
        }
        const int parent = slash > 0 ? group.get() : copy.get();
        writeFile(parent, native.mid(slash + 1), joined(copyPath, native), bytes, readers, kCopyFileMode);
    }
    if (group.get() >= 0)
        sync(group.get(), joined(copyPath, groupName));
    sync(copy.get(), copyPath);
}

// `fresh` becomes `user` in one step; the old copy is removed after.
void SealStore::swapIn(const QByteArray& fresh, const QByteArray& user)
{
    const int dir = folder.get();
    struct stat status = {};
    const bool exists = ::fstatat(dir, user.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists) {
        if (::renameat(dir, fresh.constData(), dir, user.constData()) != 0)
            failed("cannot rename to", joined(path, user));
    } else if (::renameat2(dir, fresh.constData(), dir, user.constData(), RENAME_EXCHANGE) == 0) {
        removeTree(dir, fresh, path);
    } else if (errno == EINVAL) {
        // A file system without the exchange: the old copy steps aside for a moment.
        const QByteArray old = "." + user + ".old";
        removeTree(dir, old, path);
        if (::renameat(dir, user.constData(), dir, old.constData()) != 0 ||
            ::renameat(dir, fresh.constData(), dir, user.constData()) != 0)
            failed("cannot rename to", joined(path, user));
        removeTree(dir, old, path);
    } else {
        failed("cannot swap in", joined(path, user));
    }
    sync(dir, path);
}

void SealStore::removeLeftovers(const QString& user)
{
    for (const char* suffix : {".new", ".old", ".seal.new"})
        removeTree(folder.get(), hidden(user, suffix), path);
}

// Removes `name` in `parent` and all below it, never following a link; false when absent.
bool SealStore::removeTree(int parent, const QByteArray& name, const QString& where)
{
    const QString entry = joined(where, name);
    struct stat status = {};
    if (::fstatat(parent, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return false;
        failed("cannot read", entry);
    }
    if (S_ISDIR(status.st_mode)) {
        const int fd = ::openat(parent, name.constData(), kFolderFlags);
        DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
        if (!dir) {
            if (fd >= 0)
                ::close(fd);
            failed("cannot open", entry);
        }
        const std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, ::closedir);
        std::vector<QByteArray> names;
        while (const dirent* child = ::readdir(dir))
            if (std::strcmp(child->d_name, ".") != 0 && std::strcmp(child->d_name, "..") != 0)
                names.emplace_back(child->d_name);
        for (const QByteArray& child : names)
            removeTree(::dirfd(dir), child, entry);
    }
    if (::unlinkat(parent, name.constData(), S_ISDIR(status.st_mode) ? AT_REMOVEDIR : 0) != 0)
        failed("cannot remove", entry);
    return true;
}

void SealStore::sync(int fd, const QString& where)
{
    if (::fsync(fd) != 0)
        failed("cannot sync", where);
}
