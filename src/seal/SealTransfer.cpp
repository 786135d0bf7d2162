#include "SealTransfer.h"

#include "CheckAnswer.h"
#include "CheckProfile.h"
#include "Errors.h"
#include "ProfileLayout.h"
#include "UniqueFd.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ProfileLayout;

namespace {
// Room for the heads, names and reasons beside the files' bytes.
constexpr qint64 kRecordsRoom = 1024 * 1024;
// The child answers at once; a home on a hung network file system must not hold root forever.
constexpr int kReadLimitMs = 20000;
const char* const kProfileBelowHome = "/.local/share/visagio";

// ---- the child, as the owner ----

bool writeAll(int fd, const QByteArray& bytes)
{
    for (qint64 done = 0; done < bytes.size();) {
        const ssize_t wrote = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += wrote;
    }
    return true;
}

// The owner's uid, gid and groups, each change checked: nothing is opened before.
bool becomeOwner(const SealOwner& owner)
{
    uid_t ruid, euid, suid;
    gid_t rgid, egid, sgid;
    return ::setgroups(owner.groups.size(), owner.groups.data()) == 0 &&
           ::setresgid(owner.gid, owner.gid, owner.gid) == 0 && ::setresuid(owner.uid, owner.uid, owner.uid) == 0 &&
           ::getresuid(&ruid, &euid, &suid) == 0 && ruid == owner.uid && euid == owner.uid && suid == owner.uid &&
           ::getresgid(&rgid, &egid, &sgid) == 0 && rgid == owner.gid && egid == owner.gid && sgid == owner.gid;
}

QByteArray childRecords(const SealOwner& owner, const QString& weightsKey)
{
    try {
        const QString folder = QFile::decodeName(owner.home) + kProfileBelowHome;
        const CheckedProfile profile = readCheckedProfile(folder, {owner.uid, owner.gid});
        if (profile.sealed)
            cannotRun(shellQuoted(folder) + " belongs to root; your profile must be your own");
        requireResnetWithLiveness(profile);
        const GroupSelection selection = selectGroups(profile, weightsKey);
        QByteArray records;
        for (const auto& [number, reason] : selection.leftOut)
            records += encodeRecord({SealRecord::LeftOut, kGroupPrefix + QByteArray::number(number), reason.toUtf8()});
        for (const auto& [path, bytes] : sealedFiles(profile, selection))
            records += encodeRecord({SealRecord::File, path.toUtf8(), bytes});
        return records;
    } catch (const e_default& refusal) {
        return encodeRecord({SealRecord::Refusal, {}, QByteArray::fromStdString(refusal.message())});
    } catch (const std::exception& refusal) {
        return encodeRecord({SealRecord::Refusal, {}, QByteArray(refusal.what())});
    }
}

[[noreturn]] void runChild(const SealOwner& owner, const QString& weightsKey, int out)
{
    std::signal(SIGPIPE, SIG_IGN);
    // Nothing root opened goes along, but for standard output and error and the pipe.
    ::close_range(3, unsigned(out) - 1, 0);
    ::close_range(unsigned(out) + 1, ~0U, 0);
    if (!becomeOwner(owner)) {
        writeAll(out, encodeRecord({SealRecord::Refusal, {}, "cannot take on the owner's uid, gid and groups"}));
        ::_exit(1);
    }
    ::_exit(writeAll(out, childRecords(owner, weightsKey)) ? 0 : 1);
}

// ---- root ----

// Everything the child wrote, within the caps and the time limit.
QByteArray readRecords(int in, pid_t child)
{
    QByteArray bytes;
    char buffer[65536];
    const qint64 limit = kTotalCap + kRecordsRoom;
    for (;;) {
        pollfd ready = {in, POLLIN, 0};
        const int polled = ::poll(&ready, 1, kReadLimitMs);
        if (polled < 0 && errno == EINTR)
            continue;
        const ssize_t got = polled > 0 ? ::read(in, buffer, sizeof buffer) : -1;
        if (polled > 0 && got < 0 && errno == EINTR)
            continue;
        if (got == 0)
            return bytes;
        if (got < 0 || bytes.size() + got > limit) {
            ::kill(child, SIGKILL);
            cannotRun(polled == 0 ? "reading the profile took longer than 20 s; try again"
                      : got < 0   ? "reading the profile failed; try again"
                                  : "the profile passes the 16 MiB a sealed profile may hold");
        }
        bytes.append(buffer, int(got));
    }
}

}  // namespace

SealedProfile readOwnerProfile(const SealOwner& owner, const QString& weightsKey)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        cannotRun("no pipe to read the profile through (" + QString::fromLocal8Bit(std::strerror(errno)) + ")");
    UniqueFd in(ends[0]);
    UniqueFd out(ends[1]);
    const pid_t child = ::fork();
    if (child < 0)
        cannotRun("cannot start the reader of the profile (" + QString::fromLocal8Bit(std::strerror(errno)) + ")");
    if (child == 0) {
        in.reset();
        runChild(owner, weightsKey, out.get());
    }
    out.reset();
    QByteArray bytes;
    try {
        bytes = readRecords(in.get(), child);
    } catch (...) {
        ::waitpid(child, nullptr, 0);
        throw;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    SealedProfile sealed =
        acceptedProfile(decodeRecords(bytes), QFile::decodeName(owner.home) + kProfileBelowHome, weightsKey);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        cannotRun("the reader of the profile failed; try again");
    return sealed;
}
