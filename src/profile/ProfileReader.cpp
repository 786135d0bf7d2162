#include "ProfileReader.h"

#include "FaceGeometry.h"
#include "ProfileLayout.h"
#include "UniqueFd.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ProfileLayout;

namespace {
constexpr std::size_t kMaxGroups = 100;
constexpr std::size_t kMaxEntries = 1000;
// A parse error quoting a file's own text is cut to this many characters.
constexpr int kMaxReasonLength = 200;
// The N of "group-N" in decimal digits, few enough to fit an int.
constexpr int kMaxNumberDigits = 9;
// A folder to list, a folder passed through on the way (it need not be readable), a file to
// read: never through a link, and no FIFO swapped in can block the open.
constexpr int kListFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kPassFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kReadFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

struct Folder
{
    QString path;
    UniqueFd fd;
    struct stat status = {};
};

// The folders from "/" down to the profile's parent with their status, and the profile folder.
struct Walk
{
    std::vector<std::pair<QString, struct stat>> above;
    Folder profile;
};

QString joined(const QString& folder, const QString& name)
{
    return folder.endsWith('/') ? folder + name : folder + "/" + name;
}

QString joined(const QString& folder, const QByteArray& name)
{
    return joined(folder, QFile::decodeName(name));
}

[[noreturn]] void refuseUnreadable(const QString& path, int error)
{
    refuseProfile(shellQuoted(path) + " cannot be read (" + QString::fromLocal8Bit(std::strerror(error)) + ")");
}

// The text short and printable ASCII: it may quote a file's bytes (terminal controls among them).
QString printable(const QString& text)
{
    QString shown = text.left(kMaxReasonLength);
    for (QChar& c : shown)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            c = '?';
    return shown.size() < text.size() ? shown + "..." : shown;
}

[[noreturn]] void refuseDamaged(const QString& group, const QString& reason)
{
    const QString quoted = shellQuoted(group);
    refuseProfile("the enrolment group " + quoted + " is damaged (" + printable(reason) +
                  "); enrol again or remove it: rm -r " + quoted);
}

template <typename Parse>
auto parsedOrDamaged(const QString& group, Parse parse) -> decltype(parse())
{
    try {
        return parse();
    } catch (const e_logic_argument& error) {
        refuseDamaged(group, QString::fromStdString(error.message()));
    }
}

struct stat statOf(const UniqueFd& fd, const QString& path)
{
    struct stat status = {};
    if (::fstat(fd.get(), &status) != 0)
        refuseUnreadable(path, errno);
    return status;
}

// The entry's status, not following a link; empty when it vanished (the window renamed or
// deleted it meanwhile).
std::optional<struct stat> statEntry(const UniqueFd& folder, const QByteArray& name, const QString& path)
{
    struct stat status = {};
    if (::fstatat(folder.get(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0)
        return status;
    if (errno == ENOENT)
        return std::nullopt;
    refuseUnreadable(path, errno);
}

// A folder on the way to the profile that did not open.
[[noreturn]] void refuseWalk(const UniqueFd& parent, const QByteArray& name, const QString& path, const QString& profile,
                             int error)
{
    if (error == ENOENT)
        refuseProfile("no owner profile at " + shellQuoted(profile) + "; enrol first with visagio --features resnet");
    struct stat status = {};
    const bool found = ::fstatat(parent.get(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0;
    if (found && S_ISLNK(status.st_mode))
        refuseProfile(shellQuoted(path) + " is a symbolic link; the profile must be a real folder: name it by its "
                                          "real path");
    if (found && !S_ISDIR(status.st_mode))
        refuseProfile(shellQuoted(path) + " is not a folder; the profile must be a real folder");
    refuseUnreadable(path, error);
}

// Reaches the profile folder from "/", each folder opened through the one before it.
Walk walkTo(const QString& profile)
{
    Walk walk;
    QString path = "/";
    UniqueFd current(::open("/", kPassFlags));
    if (current.get() < 0)
        refuseUnreadable(path, errno);
    const QStringList names = profile.split('/', Qt::SkipEmptyParts);
    for (int i = 0; i < names.size(); ++i) {
        walk.above.emplace_back(path, statOf(current, path));
        const QByteArray name = QFile::encodeName(names[i]);
        const QString next = joined(path, names[i]);
        UniqueFd child(::openat(current.get(), name.constData(), i + 1 == names.size() ? kListFlags : kPassFlags));
        const int error = errno;
        if (child.get() < 0)
            refuseWalk(current, name, next, profile, error);
        current = std::move(child);
        path = next;
    }
    walk.profile.status = statOf(current, path);
    walk.profile.path = path;
    walk.profile.fd = std::move(current);
    return walk;
}

// The names in a folder opened for listing, sorted, "." and ".." left out.
std::vector<QByteArray> listFolder(const UniqueFd& folder, const QString& path)
{
    const int copy = ::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0);
    DIR* dir = copy < 0 ? nullptr : ::fdopendir(copy);
    if (!dir) {
        const int error = errno;
        if (copy >= 0)
            ::close(copy);
        refuseUnreadable(path, error);
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, ::closedir);
    std::vector<QByteArray> names;
    for (errno = 0; const dirent* entry = ::readdir(dir); errno = 0) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        if (names.size() == kMaxEntries)
            refuseProfile(shellQuoted(path) + " holds more than " + QString::number(kMaxEntries) +
                          " entries; remove what does not belong to the profile");
        names.push_back(name);
    }
    if (errno != 0)
        refuseUnreadable(path, errno);
    std::sort(names.begin(), names.end());
    return names;
}

// The N of a "group-N" name as the window writes it (no sign, no leading zero); 0 otherwise.
int groupNumber(const QByteArray& name)
{
    const QByteArray digits = name.mid(int(std::strlen(kGroupPrefix)));
    const bool decimal = !digits.isEmpty() && digits.size() <= kMaxNumberDigits && digits[0] != '0' &&
                         std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    return name.startsWith(kGroupPrefix) && decimal ? digits.toInt() : 0;
}

// A group whose samples or chips are not all there is damaged, as the window would find it.
void requireImages(const std::vector<QByteArray>& sortedNames, const GroupManifest& manifest, const QString& group)
{
    const int chips = manifest.format == GroupManifest::kChipsFormat ? manifest.count : 0;
    const std::pair<const char*, int> images[] = {{"sample", manifest.count}, {"chip", chips}};
    for (const auto& [kind, count] : images)
        for (int i = 0; i < count; ++i) {
            const QByteArray name = imageName(kind, i).toLatin1();
            if (!std::binary_search(sortedNames.begin(), sortedNames.end(), name))
                refuseDamaged(group, QString::fromLatin1(name) + " is missing");
        }
}

// One reading of a profile: the way to it, its rules, and what was read so far.
class Reading
{
public:
    Reading(const QString& folder, const ProfileIdentity& who)
        : walk(walkTo(folder)), rules(walk.profile.path, walk.profile.status, who)
    {
    }

    CheckedProfile run();

private:
    std::vector<std::pair<int, QByteArray>> checkProfileFolder() const;
    void checkLeftover(const QByteArray& name, const QString& path) const;
    std::vector<QByteArray> checkEntries(const UniqueFd& folder, const QString& path) const;
    [[noreturn]] void refuseUnopened(const UniqueFd& folder, const QByteArray& name, const QString& path,
                                     ProfileEntry kind, int error) const;
    std::optional<QByteArray> readFile(const UniqueFd& folder, const QString& folderPath, const QString& prefix,
                                       const char* name, qint64 cap);
    QByteArray readCapped(const UniqueFd& file, const QString& path, qint64 cap, const QString& fix);
    std::optional<QString> readSetting(const char* name, const char* command);
    std::optional<CheckedGroup> readGroup(int number, const QByteArray& name);

    Walk walk;
    ProfileRules rules;
    qint64 bytesRead = 0;
    CheckedProfile profile;
};

CheckedProfile Reading::run()
{
    for (std::size_t i = 0; i < walk.above.size(); ++i)
        rules.checkAbove(walk.above[i].first, walk.above[i].second, i + 1 == walk.above.size());
    rules.checkEntry(walk.profile.path, walk.profile.status, ProfileEntry::Folder);
    const std::vector<std::pair<int, QByteArray>> groups = checkProfileFolder();
    profile.folder = walk.profile.path;
    profile.sealed = rules.sealed();
    profile.features = readSetting(kFeaturesName, "visagio --features resnet").value_or(kDefaultFeatures);
    const std::optional<QString> liveness = readSetting(kLivenessName, "visagio --liveness on");
    const QString livenessPath = shellQuoted(joined(profile.folder, QString(kLivenessName)));
    if (liveness && *liveness != kOn && *liveness != kOff)
        refuseProfile(livenessPath + " is damaged (it holds neither on nor off); record it again (visagio "
                                     "--liveness on) or remove it: rm " + livenessPath);
    if (liveness)
        profile.liveness = *liveness == kOn;
    for (const auto& [number, name] : groups)
        if (std::optional<CheckedGroup> group = readGroup(number, name))
            profile.groups.push_back(std::move(*group));
    return std::move(profile);
}

// Checks every entry of the profile folder; the groups in order of N.
std::vector<std::pair<int, QByteArray>> Reading::checkProfileFolder() const
{
    std::vector<std::pair<int, QByteArray>> groups;
    for (const QByteArray& name : listFolder(walk.profile.fd, walk.profile.path)) {
        const QString path = joined(walk.profile.path, name);
        const std::optional<struct stat> status = statEntry(walk.profile.fd, name, path);
        if (!status)
            continue;
        const bool folder = S_ISDIR(status->st_mode);
        rules.checkEntry(path, *status, name == kLockName ? ProfileEntry::LockFile
                                        : folder          ? ProfileEntry::Folder
                                                          : ProfileEntry::File);
        if (folder && groupNumber(name) > 0)
            groups.emplace_back(groupNumber(name), name);
        else if (folder)
            checkLeftover(name, path);
    }
    if (groups.size() > kMaxGroups)
        refuseProfile(shellQuoted(walk.profile.path) + " holds more than " + QString::number(kMaxGroups) +
                      " enrolment groups; remove the groups you do not need");
    std::sort(groups.begin(), groups.end());
    return groups;
}

// A folder that is not a group (".incoming-N", ".removing-N"): checked, never read.
void Reading::checkLeftover(const QByteArray& name, const QString& path) const
{
    const UniqueFd folder(::openat(walk.profile.fd.get(), name.constData(), kListFlags));
    const int error = errno;
    if (folder.get() < 0 && error == ENOENT)
        return;
    if (folder.get() < 0)
        refuseUnopened(walk.profile.fd, name, path, ProfileEntry::Folder, error);
    rules.checkEntry(path, statOf(folder, path), ProfileEntry::Folder);
    checkEntries(folder, path);
}

// Checks every entry of a folder inside the profile as a file; their names, sorted.
std::vector<QByteArray> Reading::checkEntries(const UniqueFd& folder, const QString& path) const
{
    const std::vector<QByteArray> names = listFolder(folder, path);
    for (const QByteArray& name : names) {
        const QString entry = joined(path, name);
        if (const std::optional<struct stat> status = statEntry(folder, name, entry))
            rules.checkEntry(entry, *status, ProfileEntry::File);
    }
    return names;
}

// An entry that did not open: refused for what it is when the rules forbid that (a link or a
// FIFO swapped in), else for the system's reason.
void Reading::refuseUnopened(const UniqueFd& folder, const QByteArray& name, const QString& path, ProfileEntry kind,
                             int error) const
{
    struct stat status = {};
    if (::fstatat(folder.get(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0)
        rules.checkEntry(path, status, kind);
    refuseUnreadable(path, error);
}

// The bytes of a file, checked through its own descriptor and recorded as prefix + name; empty
// when the file is absent.
std::optional<QByteArray> Reading::readFile(const UniqueFd& folder, const QString& folderPath, const QString& prefix,
                                            const char* name, qint64 cap)
{
    const QString path = joined(folderPath, QString(name));
    const UniqueFd file(::openat(folder.get(), name, kReadFlags));
    const int error = errno;
    if (file.get() < 0 && error == ENOENT)
        return std::nullopt;
    if (file.get() < 0)
        refuseUnopened(folder, name, path, ProfileEntry::File, error);
    rules.checkEntry(path, statOf(file, path), ProfileEntry::File);
    // A setting can go (its default applies); a group file goes with its group.
    const QString fix = prefix.isEmpty() ? "remove it: rm " + shellQuoted(path)
                                         : "enrol again or remove the group: rm -r " + shellQuoted(folderPath);
    const QByteArray bytes = readCapped(file, path, cap, fix);
    profile.files.emplace_back(prefix + name, bytes);
    return bytes;
}

// Reads at most one byte past the caps, so that a file growing meanwhile is caught too.
QByteArray Reading::readCapped(const UniqueFd& file, const QString& path, qint64 cap, const QString& fix)
{
    const qint64 room = std::min(cap, kTotalCap - bytesRead);
    QByteArray bytes(int(room + 1), Qt::Uninitialized);
    qint64 size = 0;
    while (size <= room) {
        const ssize_t got = ::read(file.get(), bytes.data() + size, std::size_t(room + 1 - size));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            refuseUnreadable(path, errno);
        if (got == 0)
            break;
        size += got;
    }
    if (size > cap)
        refuseProfile(shellQuoted(path) + " is larger than " + QString::number(cap) +
                      " bytes, the most such a file may hold; " + fix);
    if (size > room)
        refuseProfile("reading " + shellQuoted(path) + " passes the " + QString::number(kTotalCap / kMebibyte) +
                      " MiB a profile may hold in all; remove the enrolment groups you do not need");
    bytesRead += size;
    bytes.truncate(int(size));
    return bytes;
}

// The word a setting file holds; empty when there is no such file. `command` records it again.
std::optional<QString> Reading::readSetting(const char* name, const char* command)
{
    const std::optional<QByteArray> bytes = readFile(walk.profile.fd, walk.profile.path, QString(), name, kSettingCap);
    if (!bytes)
        return std::nullopt;
    const QString word = settingWord(*bytes);
    const QString path = shellQuoted(joined(walk.profile.path, QString(name)));
    if (word.isEmpty())
        refuseProfile(path + " is damaged (it does not hold one word of letters and digits); record it again (" +
                      command + ") or remove it: rm " + path);
    return word;
}

// The group in folder `name`; empty when it vanished before it was opened (the window removed it).
std::optional<CheckedGroup> Reading::readGroup(int number, const QByteArray& name)
{
    const QString path = joined(walk.profile.path, name);
    const UniqueFd folder(::openat(walk.profile.fd.get(), name.constData(), kListFlags));
    const int error = errno;
    if (folder.get() < 0 && error == ENOENT)
        return std::nullopt;
    if (folder.get() < 0)
        refuseUnopened(walk.profile.fd, name, path, ProfileEntry::Folder, error);
    rules.checkEntry(path, statOf(folder, path), ProfileEntry::Folder);
    const std::vector<QByteArray> names = checkEntries(folder, path);
    const QString prefix = QFile::decodeName(name) + "/";
    CheckedGroup group;
    group.folder = path;
    group.number = number;
    const std::optional<QByteArray> manifest = readFile(folder, path, prefix, GroupManifest::kFileName, kManifestCap);
    if (!manifest)
        refuseDamaged(path, QString(GroupManifest::kFileName) + " is missing");
    group.manifest = parsedOrDamaged(path, [&] { return parseGroupManifest(*manifest, kSampleSize); });
    // The sealed copy holds only what a check parses: no sample or chip image.
    if (!rules.sealed())
        requireImages(names, group.manifest, path);
    if (group.manifest.format == GroupManifest::kSamplesOnlyFormat)
        return group;
    const std::optional<QByteArray> embeddings =
        readFile(folder, path, prefix, GroupManifest::kEmbeddingsFileName, kEmbeddingsCap);
    if (!embeddings)
        refuseDamaged(path, QString(GroupManifest::kEmbeddingsFileName) + " is missing");
    group.embeddings = parsedOrDamaged(path, [&] { return parseEmbeddings(*embeddings, group.manifest); });
    return group;
}
}  // namespace

CheckedProfile readCheckedProfile(const QString& folder, const ProfileIdentity& who)
{
    // A NUL character would end the name the system sees early: another folder than the one named.
    if (folder.isEmpty() || folder.contains(QChar::Null))
        refuseProfile("no owner profile at " + shellQuoted(folder) + "; enrol first with visagio --features resnet");
    const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    if (path == "/")
        refuseProfile("'/' cannot be an owner profile; name the profile's own folder");
    return Reading(path, who).run();
}
