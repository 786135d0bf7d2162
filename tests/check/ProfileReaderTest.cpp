// The headless check's reading of the owner profile: a sound profile comes back whole, beside
// a running window and without a change on disk, and every unsafe or damaged one is refused at
// once with a message naming the path and the fix.
#include "ChipGeometry.h"
#include "ErrorMessage.h"
#include "FaceGeometry.h"
#include "FaceResnet.h"
#include "GroupFolder.h"
#include "ProfileReader.h"
#include "TestData.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kGroups = 3;
// The bytes of group 3's embeddings: 4 samples of 128 float32 values.
constexpr int kGroup3EmbeddingBytes = 4 * FaceResnet::kEmbeddingSize * int(sizeof(float));
// A read answers in milliseconds; one still running after this has blocked.
constexpr auto kPatience = std::chrono::seconds(1);
// Who the sealed copy is for: a user and group that need not exist.
constexpr ProfileIdentity kStandIn{12345, 12345};
constexpr uid_t kOtherUser = 12346;

ProfileIdentity me()
{
    return {::geteuid(), ::getegid()};
}

QString quoted(const QString& path)
{
    return "'" + path + "'";
}

void must(bool done, const QString& what)
{
    if (!done)
        throw std::runtime_error(what.toStdString() + ": " + std::strerror(errno));
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

void makeFolder(const QString& path, mode_t mode = 0700)
{
    must(::mkdir(native(path), mode) == 0 && ::chmod(native(path), mode) == 0, "mkdir " + path);
}

void changeMode(const QString& path, mode_t mode)
{
    must(::chmod(native(path), mode) == 0, "chmod " + path);
}

void writeBytes(const QString& path, const QByteArray& bytes, mode_t mode = 0600)
{
    const int fd = ::open(native(path), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    must(fd >= 0, "open " + path);
    const bool written = ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size() &&
                         ::fchmod(fd, mode) == 0;
    ::close(fd);
    must(written, "write " + path);
}

// Moves `path` to `target` and leaves a symbolic link to it in its place.
void replaceByLink(const QString& path, const QString& target)
{
    must(QFile::rename(path, target) && QFile::link(target, path), "link " + path);
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    must(file.open(QIODevice::ReadOnly), "read " + path);
    return file.readAll();
}

// Group N as the window saves it: N + 1 samples; chips and embeddings when N is odd.
EnrolmentGroup makeGroup(int number)
{
    const int count = number + 1;
    EnrolmentGroup group(std::vector<cv::Mat>(count, cv::Mat(kSampleSize, CV_8UC1, cv::Scalar(40 * number))));
    if (number % 2 == 0)
        return group;
    for (int i = 0; i < count; ++i) {
        group.chips.push_back(cv::Mat(16, 16, CV_8UC3, cv::Scalar(number, i, 7)));
        std::vector<float> embedding(FaceResnet::kEmbeddingSize);
        for (int j = 0; j < FaceResnet::kEmbeddingSize; ++j)
            embedding[j] = float(number) + float(i) / 4 - float(j) / 256;
        group.embeddings.push_back(embedding);
    }
    group.embeddingModel = QString(64, 'a');
    group.chipAligner = kChipAligner;
    return group;
}

// The sound profile: groups 1 and 3 of format 2, group 2 of format 1, the feature model and
// the liveness check recorded.
void writeProfile(const QString& folder)
{
    makeFolder(folder);
    for (int number = 1; number <= kGroups; ++number) {
        const QString group = folder + "/group-" + QString::number(number);
        makeFolder(group);
        writeGroupFolder(group, makeGroup(number));
    }
    writeBytes(folder + "/features.txt", "resnet\n");
    writeBytes(folder + "/liveness.txt", "on\n");
}

// `root` and everything under it, not following links.
QStringList treeOf(const QString& root)
{
    QStringList paths{root};
    for (QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        paths << it.next();
    return paths;
}

long long nanoseconds(const timespec& time)
{
    return time.tv_sec * 1000000000LL + time.tv_nsec;
}

// Every entry under `root` with its type and mode, times of change and, for a file, its bytes.
using Snapshot = std::map<QString, std::tuple<unsigned, long long, long long, QByteArray>>;

Snapshot snapshot(const QString& root)
{
    Snapshot entries;
    for (const QString& path : treeOf(root)) {
        struct stat status = {};
        must(::lstat(native(path), &status) == 0, "lstat " + path);
        entries[path] = {unsigned(status.st_mode), nanoseconds(status.st_mtim), nanoseconds(status.st_ctim),
                         S_ISREG(status.st_mode) ? readBytes(path) : QByteArray()};
    }
    return entries;
}

// A damage done to a fresh sound profile: the folder to read then, the refusal expected, and
// a FIFO a blocked read may wait on.
struct Damaged
{
    Damaged(QString read, QString expected, QString fifo = QString())
        : read(std::move(read)), expected(std::move(expected)), fifo(std::move(fifo))
    {
    }

    QString read;
    QString expected;
    QString fifo;
};

// The refusal's message, which must come within kPatience; a read still waiting on `fifo` then
// is let go (a writer opens and closes it) so that the test fails instead of hanging.
std::string refusalWithin(const QString& folder, const ProfileIdentity& who, const QString& fifo)
{
    QElapsedTimer timer;
    timer.start();
    std::future<std::string> answer = std::async(std::launch::async, [&] {
        return messageOf<ProfileRefused>([&] { readCheckedProfile(folder, who); });
    });
    if (answer.wait_for(kPatience) != std::future_status::ready) {
        ADD_FAILURE() << "no answer within " << kPatience.count() << " s";
        if (!fifo.isEmpty())
            ::close(::open(native(fifo), O_WRONLY | O_NONBLOCK));
    }
    const std::string message = answer.get();
    EXPECT_LT(timer.elapsed(), std::chrono::milliseconds(kPatience).count());
    return message;
}

// Makes `profile` the sealed copy for `who`: root's, group who.gid, folders 0750, files 0640,
// in a folder of root's of mode 0755.
void seal(const QString& profile, const ProfileIdentity& who)
{
    const QString parent = QFileInfo(profile).path();
    must(::chown(native(parent), 0, 0) == 0, "chown " + parent);
    changeMode(parent, 0755);
    for (const QString& path : treeOf(profile)) {
        must(::chown(native(path), 0, who.gid) == 0, "chown " + path);
        changeMode(path, QFileInfo(path).isDir() ? 0750 : 0640);
    }
}
}  // namespace

class ProfileReaderTest : public testing::Test
{
protected:
    QString folder() const { return temp.path() + "/profile"; }

    QTemporaryDir temp;
};

TEST_F(ProfileReaderTest, SoundProfileComesBackWholeInOrder)
{
    writeProfile(folder());
    const CheckedProfile profile = readCheckedProfile(folder(), me());
    EXPECT_EQ(profile.folder, folder());
    EXPECT_EQ(profile.features, "resnet");
    EXPECT_EQ(profile.liveness, true);
    ASSERT_EQ(profile.groups.size(), std::size_t(kGroups));
    QStringList read{"features.txt", "liveness.txt"};
    for (int number = 1; number <= kGroups; ++number) {
        SCOPED_TRACE(number);
        const CheckedGroup& group = profile.groups[number - 1];
        const EnrolmentGroup written = makeGroup(number);
        const QString name = "group-" + QString::number(number);
        EXPECT_EQ(group.number, number);
        EXPECT_EQ(group.folder, folder() + "/" + name);
        EXPECT_EQ(group.manifest.format,
                  written.hasChips() ? GroupManifest::kChipsFormat : GroupManifest::kSamplesOnlyFormat);
        EXPECT_EQ(group.manifest.count, number + 1);
        EXPECT_EQ(group.embeddings, written.embeddings);
        read << name + "/manifest.txt";
        if (written.hasChips())
            read << name + "/embeddings.bin";
    }
    ASSERT_EQ(profile.files.size(), std::size_t(read.size()));
    for (int i = 0; i < read.size(); ++i) {
        SCOPED_TRACE(read[i].toStdString());
        EXPECT_EQ(profile.files[i].first, read[i]);
        EXPECT_EQ(profile.files[i].second, readBytes(folder() + "/" + read[i]));
    }
}

TEST_F(ProfileReaderTest, RelativeFolderAndAbsentSettings)
{
    writeProfile(folder());
    must(QFile::remove(folder() + "/features.txt") && QFile::remove(folder() + "/liveness.txt"), "remove settings");
    // "elsewhere" does not exist: the name is cleaned, not looked up.
    const QString working = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temp.path()));
    std::optional<CheckedProfile> profile;
    const std::string refusal =
        messageOf<ProfileRefused>([&] { profile = readCheckedProfile("elsewhere/../profile", me()); });
    QDir::setCurrent(working);
    ASSERT_TRUE(profile) << refusal;
    EXPECT_EQ(profile->folder, folder());
    EXPECT_EQ(profile->features, "grbm") << "a profile that never chose";
    EXPECT_EQ(profile->liveness, std::nullopt) << "the model's default applies";
    EXPECT_EQ(profile->groups.size(), std::size_t(kGroups));
    ASSERT_FALSE(profile->files.empty());
    EXPECT_EQ(profile->files.front().first, "group-1/manifest.txt");
}

// The window holds its lock and is writing group 4 and deleting group 9: the leftovers and
// the lock are checked, not read, and reading changes nothing.
TEST_F(ProfileReaderTest, BesideTheWindowNothingChanges)
{
    writeProfile(folder());
    QLockFile lock(folder() + "/visagio.lock");
    ASSERT_TRUE(lock.tryLock(0));
    changeMode(folder() + "/visagio.lock", 0644);
    makeFolder(folder() + "/.incoming-4");
    writeBytes(folder() + "/.incoming-4/manifest.txt", "not a manifest\n");
    writeBytes(folder() + "/.incoming-4/odd.bin", QByteArray(3, '\xff'));
    makeFolder(folder() + "/.removing-9");
    writeBytes(folder() + "/features.txt.new", "grbm\n");
    const Snapshot before = snapshot(temp.path());
    const CheckedProfile profile = readCheckedProfile(folder(), me());
    EXPECT_EQ(profile.groups.size(), std::size_t(kGroups));
    EXPECT_EQ(profile.features, "resnet");
    EXPECT_EQ(profile.files.size(), 7u) << "two settings, three manifests, two embeddings";
    EXPECT_TRUE(lock.isLocked());
    EXPECT_EQ(snapshot(temp.path()), before);

    // A file the window is writing is still checked, and a refusal leaves nothing behind either.
    const QString odd = folder() + "/.incoming-4/odd.bin";
    changeMode(odd, 0644);
    const Snapshot refused = snapshot(temp.path());
    EXPECT_EQ(refusalWithin(folder(), me(), QString()),
              (quoted(odd) + " can be read by others; make it private: chmod 600 " + quoted(odd)).toStdString());
    EXPECT_EQ(snapshot(temp.path()), refused);
}

TEST_F(ProfileReaderTest, UnsafeOrDamagedProfilesAreRefusedNamingThePath)
{
    using Damage = std::function<Damaged(const QString& root, const QString& profile)>;
    const std::vector<std::pair<const char*, Damage>> cases = {
        {"missing folder", [](const QString& root, const QString&) {
             const QString absent = root + "/absent";
             return Damaged{absent,
                            "no owner profile at " + quoted(absent) + "; enrol first with visagio --features resnet"};
         }},
        {"sample readable by others", [](const QString&, const QString& profile) {
             const QString sample = profile + "/group-1/sample-001.png";
             changeMode(sample, 0604);
             return Damaged{profile,
                            quoted(sample) + " can be read by others; make it private: chmod 600 " + quoted(sample)};
         }},
        {"profile folder open to its group", [](const QString&, const QString& profile) {
             changeMode(profile, 0710);
             return Damaged{profile, quoted(profile) + " can be entered by others; make it private: chmod 700 " +
                                         quoted(profile)};
         }},
        {"parent writable by its group", [](const QString& root, const QString& profile) {
             changeMode(root, 0770);
             return Damaged{profile, quoted(root) + " is writable by its group or others; chmod go-w " + quoted(root)};
         }},
        {"profile folder a symbolic link", [](const QString& root, const QString& profile) {
             replaceByLink(profile, root + "/real");
             return Damaged{profile, quoted(profile) + " is a symbolic link; the profile must be a real folder"};
         }},
        {"folder above a symbolic link", [](const QString& root, const QString& profile) {
             makeFolder(root + "/real");
             must(QFile::rename(profile, root + "/real/profile") && QFile::link(root + "/real", root + "/link"), "link");
             return Damaged{root + "/link/profile", quoted(root + "/link") + " is a symbolic link"};
         }},
        {"manifest a symbolic link", [](const QString& root, const QString& profile) {
             const QString manifest = profile + "/group-2/manifest.txt";
             replaceByLink(manifest, root + "/manifest.txt");
             return Damaged{profile, quoted(manifest) + " is a symbolic link; the profile must hold real files"};
         }},
        {"embeddings a symbolic link", [](const QString& root, const QString& profile) {
             const QString embeddings = profile + "/group-3/embeddings.bin";
             replaceByLink(embeddings, root + "/embeddings.bin");
             return Damaged{profile, quoted(embeddings) + " is a symbolic link"};
         }},
        {"embeddings a FIFO", [](const QString&, const QString& profile) {
             const QString fifo = profile + "/group-1/embeddings.bin";
             must(QFile::remove(fifo) && ::mkfifo(native(fifo), 0600) == 0, "mkfifo");
             return Damaged{profile, quoted(fifo) + " is not a regular file; remove it from the profile: rm " +
                                         quoted(fifo), fifo};
         }},
        {"manifest hard-linked", [](const QString& root, const QString& profile) {
             const QString manifest = profile + "/group-1/manifest.txt";
             must(::link(native(manifest), native(root + "/second-name")) == 0, "link");
             return Damaged{profile, quoted(manifest) + " has 2 hard links; a profile file must have one"};
         }},
        {"embeddings cut short", [](const QString&, const QString& profile) {
             const QString group = profile + "/group-3";
             must(::truncate(native(group + "/embeddings.bin"), kGroup3EmbeddingBytes - 5) == 0, "truncate");
             return Damaged{profile, "the enrolment group " + quoted(group) + " is damaged (embeddings.bin holds " +
                                         QString::number(kGroup3EmbeddingBytes - 5) + " bytes, expected " +
                                         QString::number(kGroup3EmbeddingBytes) +
                                         "); enrol again or remove it: rm -r " + quoted(group)};
         }},
        {"manifest of an unknown format", [](const QString&, const QString& profile) {
             const QString manifest = profile + "/group-1/manifest.txt";
             writeBytes(manifest, readBytes(manifest).replace("format 2", "format 3\x1b[2J\x07"));
             return Damaged{profile, "(unknown format version \"format 3?[2J?\")"};
         }},
        {"sample missing", [](const QString&, const QString& profile) {
             const QString group = profile + "/group-2";
             must(QFile::remove(group + "/sample-001.png"), "remove");
             return Damaged{profile,
                            "the enrolment group " + quoted(group) + " is damaged (sample-001.png is missing)"};
         }},
        {"features.txt over 64 bytes", [](const QString&, const QString& profile) {
             writeBytes(profile + "/features.txt", QByteArray(65, 'a'));
             return Damaged{profile, quoted(profile + "/features.txt") + " is larger than 64 bytes"};
         }},
        {"features.txt not one word", [](const QString&, const QString& profile) {
             writeBytes(profile + "/features.txt", "res net\n");
             return Damaged{profile, quoted(profile + "/features.txt") + " is damaged"};
         }},
        {"liveness.txt neither on nor off", [](const QString&, const QString& profile) {
             writeBytes(profile + "/liveness.txt", "maybe\n");
             return Damaged{profile, quoted(profile + "/liveness.txt") + " is damaged (it holds neither on nor off)"};
         }},
        {"manifest of 5 KiB", [](const QString&, const QString& profile) {
             const QString manifest = profile + "/group-2/manifest.txt";
             writeBytes(manifest, readBytes(manifest) + QByteArray(5 * 1024, ' '));
             return Damaged{profile, quoted(manifest) + " is larger than 4096 bytes"};
         }},
        {"101 groups", [](const QString&, const QString& profile) {
             for (int number = kGroups + 1; number <= 101; ++number)
                 makeFolder(profile + "/group-" + QString::number(number));
             return Damaged{profile, quoted(profile) + " holds more than 100 enrolment groups"};
         }},
    };
    for (const auto& [what, damage] : cases) {
        SCOPED_TRACE(what);
        QTemporaryDir root;
        ASSERT_TRUE(root.isValid());
        writeProfile(root.path() + "/profile");
        const Damaged damaged = damage(root.path(), root.path() + "/profile");
        const std::string message = refusalWithin(damaged.read, me(), damaged.fifo);
        EXPECT_NE(message.find(damaged.expected.toStdString()), std::string::npos) << message;
    }
}

// The copy a login uses belongs to root and is readable by the user's group; only root makes
// one, so this runs as root under CI alone.
TEST_F(ProfileReaderTest, SealedCopyIsRootsAndReadableByTheUsersGroupOnly)
{
    if (::geteuid() != 0 || !runningInCi())
        GTEST_SKIP() << "making a sealed copy needs root (chown); this runs as root with CI=true";
    const QString parent = temp.path() + "/sealed";
    const QString profile = parent + "/profile";
    makeFolder(parent, 0755);
    writeProfile(profile);
    seal(profile, kStandIn);
    // The copy --seal makes holds what the check parses and no image: that is whole too.
    for (const QString& path : treeOf(profile))
        if (path.endsWith(".png"))
            must(QFile::remove(path), "remove " + path);
    const CheckedProfile sealed = readCheckedProfile(profile, kStandIn);
    EXPECT_TRUE(sealed.sealed);
    EXPECT_EQ(sealed.groups.size(), std::size_t(kGroups));
    EXPECT_EQ(sealed.features, "resnet");

    const QString group = profile + "/group-1";
    const QString manifest = profile + "/group-2/manifest.txt";
    const std::vector<std::tuple<const char*, std::function<void()>, QString>> cases = {
        {"group folder 0755", [&] { changeMode(group, 0755); },
         quoted(group) + " has mode 0755; a sealed profile needs 0750: chmod 750 " + quoted(group)},
        {"file of the user", [&] { must(::chown(native(manifest), kStandIn.uid, kStandIn.gid) == 0, "chown"); },
         quoted(manifest) + " belongs to uid 12345; a sealed profile belongs to root: chown root:12345 " +
             quoted(manifest)},
        {"file of another group", [&] { must(::chown(native(manifest), 0, 0) == 0, "chown"); },
         quoted(manifest) + " has group 0; a sealed profile has your group 12345: chgrp 12345 " + quoted(manifest)},
        {"file 0644", [&] { changeMode(manifest, 0644); },
         quoted(manifest) + " has mode 0644; a sealed profile needs 0640: chmod 640 " + quoted(manifest)},
        {"parent 0775", [&] { changeMode(parent, 0775); },
         quoted(parent) + " has mode 0775; the folder holding a sealed profile needs 0755: chmod 755 " +
             quoted(parent)},
        {"parent of the user", [&] { must(::chown(native(parent), kStandIn.uid, 0) == 0, "chown"); },
         quoted(parent) + " belongs to uid 12345; every folder above a sealed profile must belong to root"},
        {"profile of a third user", [&] { must(::chown(native(profile), kOtherUser, 0) == 0, "chown"); },
         quoted(profile) + " belongs to uid 12346, neither to you (uid 12345) nor to root"},
        {"embeddings a FIFO",
         [&] {
             must(QFile::remove(group + "/embeddings.bin"), "remove");
             must(::mkfifo(native(group + "/embeddings.bin"), 0640) == 0, "mkfifo");
         },
         quoted(group + "/embeddings.bin") + " is not a regular file"},
    };
    for (const auto& [what, damage, expected] : cases) {
        SCOPED_TRACE(what);
        seal(profile, kStandIn);
        damage();
        const std::string message = refusalWithin(profile, kStandIn, QString());
        EXPECT_NE(message.find(expected.toStdString()), std::string::npos) << message;
    }

    // Root's own profile falls under the home rules: a file of another user is refused.
    const QString home = temp.path() + "/home";
    writeProfile(home);
    const QString features = home + "/features.txt";
    must(::chown(native(features), kStandIn.uid, 0) == 0, "chown");
    EXPECT_EQ(refusalWithin(home, me(), QString()),
              (quoted(features) + " belongs to uid 12345, not to you (uid 0); the profile must be yours alone: "
                                  "chown 0 " + quoted(features)).toStdString());
}
