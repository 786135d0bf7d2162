#include "SealTransfer.h"

#include "CheckAnswer.h"
#include "CheckProfile.h"
#include "Errors.h"
#include "FaceGeometry.h"
#include "ProfileLayout.h"
#include "UniqueFd.h"

#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <grp.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ProfileLayout;

namespace {
// What one record of the pipe carries: a file, a group left out, or the child's refusal.
constexpr char kFileRecord = 'F';
constexpr char kLeftOutRecord = 'L';
constexpr char kRefusalRecord = 'E';
// A record's head: its kind and the lengths of its name and data (4 bytes each, host order).
constexpr int kHeadSize = 9;
// Room for the heads, names and reasons beside the files' bytes.
constexpr qint64 kRecordsRoom = 1024 * 1024;
// The child answers at once; a home on a hung network file system must not hold root forever.
constexpr int kReadLimitMs = 20000;
const char* const kProfileBelowHome = "/.local/share/visagio";

[[noreturn]] void cannotRun(const QString& message)
{
    throw CannotRun(message.toStdString());
}

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

QByteArray record(char kind, const QByteArray& name, const QByteArray& data)
{
    const quint32 lengths[] = {quint32(name.size()), quint32(data.size())};
    return QByteArray(1, kind) + QByteArray(reinterpret_cast<const char*>(lengths), sizeof lengths) + name + data;
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
            records += record(kLeftOutRecord, kGroupPrefix + QByteArray::number(number), reason.toUtf8());
        for (const auto& [path, bytes] : sealedFiles(profile, selection))
            records += record(kFileRecord, path.toUtf8(), bytes);
        return records;
    } catch (const e_default& refusal) {
        return record(kRefusalRecord, QByteArray(), QByteArray::fromStdString(refusal.message()));
    } catch (const std::exception& refusal) {
        return record(kRefusalRecord, QByteArray(), QByteArray(refusal.what()));
    }
}

[[noreturn]] void runChild(const SealOwner& owner, const QString& weightsKey, int out)
{
    std::signal(SIGPIPE, SIG_IGN);
    if (!becomeOwner(owner)) {
        writeAll(out, record(kRefusalRecord, QByteArray(), "cannot take on the owner's uid, gid and groups"));
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
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0)
            return bytes;
        if (got < 0 || bytes.size() + got > limit) {
            ::kill(child, SIGKILL);
            cannotRun(got < 0 ? "reading the profile took too long or failed; try again"
                              : "the profile passes the 16 MiB a sealed profile may hold");
        }
        bytes.append(buffer, int(got));
    }
}

struct Record
{
    char kind;
    QByteArray name;
    QByteArray data;
};

std::vector<Record> splitRecords(const QByteArray& bytes)
{
    std::vector<Record> records;
    for (qint64 at = 0; at < bytes.size();) {
        quint32 lengths[2];
        if (bytes.size() - at < kHeadSize)
            cannotRun("the profile came over cut short; try again");
        std::memcpy(lengths, bytes.constData() + at + 1, sizeof lengths);
        const qint64 end = at + kHeadSize + qint64(lengths[0]) + qint64(lengths[1]);
        if (end > bytes.size())
            cannotRun("the profile came over cut short; try again");
        records.push_back({bytes[int(at)], bytes.mid(int(at + kHeadSize), int(lengths[0])),
                           bytes.mid(int(at + kHeadSize + lengths[0]), int(lengths[1]))});
        at = end;
    }
    return records;
}

// The N of "group-N" as the window names groups (no sign, no leading zero, nine digits at most).
int groupNumberOf(const QByteArray& name)
{
    static const QRegularExpression rule("\\Agroup-([1-9][0-9]{0,8})\\z");
    const QRegularExpressionMatch match = rule.match(QString::fromLatin1(name));
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// The names root accepts, in order: features.txt, liveness.txt when present, then for each
// group by increasing N its manifest and its embeddings; each within its cap.
class Acceptance
{
public:
    void take(const Record& file);
    void takeLeftOut(const Record& group);
    SealedProfile done();

private:
    [[noreturn]] void unexpected(const QByteArray& name) const
    {
        cannotRun(QString("the profile came over with an unexpected file ") +
                  QString::fromStdString(answerLine(name.toStdString())) + "; try again");
    }

    SealedProfile sealed;
    qint64 total = 0;
    int lastNumber = 0;
};

void Acceptance::take(const Record& file)
{
    const std::size_t index = sealed.files.size();
    const bool hasLiveness = index > 1 && sealed.files[1].first == kLivenessName;
    const std::size_t groupFiles = index - (hasLiveness ? 2 : 1);
    qint64 cap = 0;
    if (index == 0 && file.name == kFeaturesName) {
        cap = kSettingCap;
    } else if (index == 1 && file.name == kLivenessName) {
        cap = kSettingCap;
    } else if (index > 0) {
        const int slash = file.name.indexOf('/');
        const int number = groupNumberOf(file.name.left(slash));
        const QByteArray leaf = file.name.mid(slash + 1);
        const bool manifest = groupFiles % 2 == 0;
        const bool expected = number > 0 && (manifest ? number > lastNumber && leaf == GroupManifest::kFileName
                                                      : number == lastNumber && leaf == GroupManifest::kEmbeddingsFileName);
        if (!expected)
            unexpected(file.name);
        cap = manifest ? kManifestCap : kEmbeddingsCap;
        if (manifest)
            sealed.groups.push_back(lastNumber = number);
    }
    if (cap == 0)
        unexpected(file.name);
    total += file.data.size();
    if (file.data.size() > cap || total > kTotalCap)
        cannotRun("the profile's file " + QString::fromUtf8(file.name) + " passes its cap; enrol again");
    sealed.files.emplace_back(QString::fromUtf8(file.name), file.data);
}

void Acceptance::takeLeftOut(const Record& group)
{
    const int number = groupNumberOf(group.name);
    if (number == 0 || (!sealed.leftOut.empty() && number <= sealed.leftOut.back().first))
        unexpected(group.name);
    sealed.leftOut.emplace_back(number, QString::fromStdString(answerLine(group.data.toStdString())));
}

SealedProfile Acceptance::done()
{
    const std::size_t groupFiles = sealed.files.size() - (sealed.files.size() > 1 && sealed.files[1].first == kLivenessName ? 2 : 1);
    if (sealed.files.empty() || groupFiles % 2 != 0 || sealed.groups.empty())
        cannotRun("the profile came over incomplete; try again");
    return std::move(sealed);
}

// The profile as the check would see it, from the bytes that came over.
CheckedProfile parsed(const SealedProfile& sealed, const QString& folder)
{
    CheckedProfile profile;
    profile.folder = folder;
    profile.files = sealed.files;
    std::size_t i = 0;
    profile.features = settingWord(sealed.files[i++].second);
    if (i < sealed.files.size() && sealed.files[i].first == kLivenessName) {
        const QString liveness = settingWord(sealed.files[i++].second);
        if (liveness != kOn && liveness != kOff)
            cannotRun(folder + "/" + kLivenessName + " is damaged; record it again: visagio --liveness on");
        profile.liveness = liveness == kOn;
    }
    for (const int number : sealed.groups) {
        CheckedGroup group;
        group.number = number;
        group.folder = folder + "/" + kGroupPrefix + QString::number(number);
        try {
            group.manifest = parseGroupManifest(sealed.files[i++].second, kSampleSize);
            if (group.manifest.format != GroupManifest::kChipsFormat)
                cannotRun(group.folder + " was enrolled for grbm; enrol again with visagio --features resnet");
            group.embeddings = parseEmbeddings(sealed.files[i++].second, group.manifest);
        } catch (const e_logic_argument& error) {
            cannotRun("the enrolment group " + group.folder + " is damaged (" +
                      QString::fromStdString(answerLine(error.message())) + "); enrol again");
        }
        profile.groups.push_back(std::move(group));
    }
    return profile;
}

// Root's own judgement of what came over: the check's causes and its choice of groups.
void requireSealable(const CheckedProfile& profile, const QString& weightsKey)
{
    requireResnetWithLiveness(profile);
    const GroupSelection selection = selectGroups(profile, weightsKey);
    if (!selection.leftOut.empty())
        cannotRun("the profile came over with group-" + QString::number(selection.leftOut.front().first) +
                  ", which the check would leave out; try again");
}

SealedProfile accepted(const QByteArray& bytes, const SealOwner& owner, const QString& weightsKey)
{
    Acceptance acceptance;
    for (const Record& each : splitRecords(bytes)) {
        if (each.kind == kRefusalRecord)
            cannotRun(QString::fromStdString(answerLine(each.data.toStdString())));
        if (each.kind == kFileRecord)
            acceptance.take(each);
        else if (each.kind == kLeftOutRecord)
            acceptance.takeLeftOut(each);
        else
            cannotRun("the profile came over damaged; try again");
    }
    SealedProfile sealed = acceptance.done();
    requireSealable(parsed(sealed, QFile::decodeName(owner.home) + kProfileBelowHome), weightsKey);
    return sealed;
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
    SealedProfile sealed = accepted(bytes, owner, weightsKey);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        cannotRun("the reader of the profile failed; try again");
    return sealed;
}
