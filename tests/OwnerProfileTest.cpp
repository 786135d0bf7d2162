// The owner profile on disk: groups come back as saved and private, damaged groups are
// skipped and left alone, and a crash while saving leaves the old groups.
#include "ChipGeometry.h"
#include "FaceGeometry.h"
#include "FaceResnet.h"
#include "ModelFiles.h"
#include "OwnerProfile.h"
#include "TestData.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <cstdlib>
#include <functional>
#include <limits>
#include <sys/stat.h>

namespace {
// Enough samples to tell groups apart; the profile does not care how many a group holds.
constexpr int kSamples = 4;

std::vector<cv::Mat> makeGroup(int seed)
{
    cv::RNG random(seed);
    std::vector<cv::Mat> group;
    for (int i = 0; i < kSamples; ++i) {
        cv::Mat sample(kSampleSize, CV_8UC1);
        random.fill(sample, cv::RNG::UNIFORM, 0, 256);
        group.push_back(sample);
    }
    return group;
}

// The group of `seed` with colour chips and embeddings (a face-resnet enrolment).
EnrolmentGroup makeChipGroup(int seed)
{
    EnrolmentGroup group(makeGroup(seed));
    cv::RNG random(seed);
    for (int i = 0; i < kSamples; ++i) {
        cv::Mat chip(16, 16, CV_8UC3);
        random.fill(chip, cv::RNG::UNIFORM, 0, 256);
        group.chips.push_back(chip);
        std::vector<float> embedding(FaceResnet::kEmbeddingSize, -0.0f);
        embedding[0] = random.uniform(-1.0f, 1.0f);
        embedding[1] = random.uniform(-1.0f, 1.0f);
        group.embeddings.push_back(embedding);
    }
    group.embeddingModel = "0123abcd";
    group.chipAligner = kChipAligner;
    return group;
}

QByteArray encode(const cv::Mat& image, const char* extension)
{
    std::vector<uchar> bytes;
    cv::imencode(extension, image, bytes);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size()));
}

// The permission bits (rwx for owner, group, others).
unsigned modeOf(const QString& path)
{
    struct stat status = {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 0777;
}

}  // namespace

class OwnerProfileTest : public testing::Test
{
protected:
    QString folder() const { return temp.path() + "/profile"; }

    // Saves the groups made from `seeds` through a profile that is closed again; group 2 is
    // enrolled with chips, group 4 with chips cut before the landmarks aligned them.
    void save(std::initializer_list<int> seeds)
    {
        OwnerProfile profile(folder(), kSampleSize);
        profile.load();
        for (int seed : seeds) {
            EnrolmentGroup group = seed == 2 || seed == 4 ? makeChipGroup(seed) : EnrolmentGroup(makeGroup(seed));
            if (seed == 4)
                group.chipAligner.clear();
            profile.addGroup(group);
        }
    }

    QTemporaryDir temp;
};

TEST_F(OwnerProfileTest, GroupsComeBackInOrderReadableByTheirOwnerOnly)
{
    save({1, 2, 3, 4});
    {
        OwnerProfile profile(folder(), kSampleSize);
        profile.recordFeatures("resnet");
        profile.recordLiveness(false);
        EXPECT_TRUE(profile.warnings().isEmpty());
        const auto groups = profile.load();
        ASSERT_EQ(groups.size(), 4u);
        const EnrolmentGroup chipGroup = makeChipGroup(2);
        EXPECT_TRUE(sameImages(groups[1].chips, chipGroup.chips));
        EXPECT_EQ(groups[1].embeddings, chipGroup.embeddings);
        EXPECT_EQ(groups[1].embeddingModel, chipGroup.embeddingModel);
        EXPECT_EQ(groups[1].chipAligner, kChipAligner);
        EXPECT_TRUE(groups[3].chipAligner.isEmpty());
        EXPECT_FALSE(groups[0].hasChips());
    }
    EXPECT_EQ(OwnerProfile::recordedFeatures(folder()), "resnet");
    EXPECT_EQ(OwnerProfile::recordedFeatures(temp.path()), "grbm") << "a profile that never chose";
    EXPECT_EQ(OwnerProfile::recordedLiveness(folder()), false);
    EXPECT_EQ(OwnerProfile::recordedLiveness(temp.path()), std::nullopt) << "the model's default applies";
    {
        // Under the face-resnet the groups without chips, or with chips of the earlier
        // alignment, are skipped, named, and kept.
        OwnerProfile profile(folder(), kSampleSize);
        ASSERT_EQ(profile.load(true).size(), 1u);
        ASSERT_EQ(profile.warnings().size(), 3);
        EXPECT_TRUE(profile.warnings()[0].contains(folder() + "/group-1"));
        EXPECT_TRUE(profile.warnings()[2].contains(folder() + "/group-4"));
        EXPECT_TRUE(profile.warnings()[2].contains("Enrol again"));
        profile.removeGroup(0);
    }
    OwnerProfile profile(folder(), kSampleSize);
    const auto groups = profile.load();
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_TRUE(sameImages(groups[0].samples, makeGroup(1)));
    EXPECT_TRUE(sameImages(groups[1].samples, makeGroup(3)));

    EXPECT_EQ(modeOf(folder()), 0700);
    QDirIterator it(folder(), QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        SCOPED_TRACE(entry.filePath().toStdString());
        EXPECT_EQ(modeOf(entry.filePath()), entry.isDir() ? 0700 : 0600);
    }
}

TEST_F(OwnerProfileTest, AFolderOthersCanReadIsNamedInAWarning)
{
    ASSERT_EQ(::mkdir(QFile::encodeName(folder()).constData(), 0755), 0);
    OwnerProfile profile(folder(), kSampleSize);
    ASSERT_EQ(profile.warnings().size(), 1);
    EXPECT_TRUE(profile.warnings()[0].contains(folder())) << profile.warnings()[0].toStdString();
    EXPECT_TRUE(profile.isSaving());
}

TEST_F(OwnerProfileTest, ADamagedGroupIsSkippedNamedAndLeftUntouched)
{
    const QString sample0 = "/group-2/sample-000.png";
    const cv::Mat other(46, 35, CV_8UC1, cv::Scalar(9));
    const std::vector<std::pair<const char*, std::function<void(const QString&)>>> damages = {
        {"missing sample", [](const QString& p) { QFile::remove(p + "/group-2/sample-001.png"); }},
        {"missing chip", [](const QString& p) { QFile::remove(p + "/group-2/chip-003.png"); }},
        {"short embeddings", [](const QString& p) { QFile(p + "/group-2/embeddings.bin").resize(20); }},
        {"embedding not finite",
         [](const QString& p) {
             QByteArray bytes = readBytes(p + "/group-2/embeddings.bin");
             const float nan = std::numeric_limits<float>::quiet_NaN();
             bytes.replace(int(sizeof(float)) * 300, int(sizeof(float)), reinterpret_cast<const char*>(&nan), sizeof nan);
             ASSERT_TRUE(writeBytes(p + "/group-2/embeddings.bin", bytes));
         }},
        {"embeddings longer than the network's",
         [](const QString& p) {
             // A consistent group of 129-value embeddings: the file's size agrees with the manifest.
             QByteArray manifest = readBytes(p + "/group-2/manifest.txt");
             manifest.replace(" 128\n", " 129\n");
             ASSERT_TRUE(writeBytes(p + "/group-2/manifest.txt", manifest));
             QFile(p + "/group-2/embeddings.bin").resize(kSamples * 129 * qint64(sizeof(float)));
         }},
        {"truncated sample",
         [](const QString& p) { QFile(p + "/group-2/sample-002.png").resize(60); }},
        {"foreign file", [&](const QString& p) { ASSERT_TRUE(writeBytes(p + sample0, encode(makeGroup(5)[0], ".jpg"))); }},
        {"sample of another size", [&](const QString& p) { ASSERT_TRUE(writeBytes(p + sample0, encode(other, ".png"))); }},
        {"unknown format version",
         [](const QString& p) {
             const QString manifest = "visagio enrolment group\nformat 3\nsize %1 %2\nsamples 4\n";
             ASSERT_TRUE(writeBytes(p + "/group-2/manifest.txt", manifest.arg(kSampleWidth).arg(kSampleHeight).toUtf8()));
         }},
        {"missing manifest", [](const QString& p) { QFile::remove(p + "/group-2/manifest.txt"); }},
        {"bad aligned line",
         [](const QString& p) {
             QByteArray manifest = readBytes(p + "/group-2/manifest.txt");
             manifest.replace("aligned landmarks\n", "aligned Landmarks!\n");
             ASSERT_TRUE(writeBytes(p + "/group-2/manifest.txt", manifest));
         }},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.first);
        QDir(folder()).removeRecursively();
        save({1, 2, 3});
        damage.second(folder());
        const auto before = folderSnapshot(folder() + "/group-2");

        OwnerProfile profile(folder(), kSampleSize);
        const auto groups = profile.load();
        ASSERT_EQ(groups.size(), 2u);
        EXPECT_TRUE(sameImages(groups[0].samples, makeGroup(1)));
        EXPECT_TRUE(sameImages(groups[1].samples, makeGroup(3)));
        ASSERT_EQ(profile.warnings().size(), 1);
        const QString warning = profile.warnings()[0];
        EXPECT_TRUE(warning.contains("rm -r '" + folder() + "/group-2'")) << warning.toStdString();
        // A new group takes a new name: the damaged one is not written over.
        profile.addGroup(makeGroup(4));
        EXPECT_EQ(folderSnapshot(folder() + "/group-2"), before);
        EXPECT_TRUE(QFile::exists(folder() + "/group-4/manifest.txt"));
    }
}

TEST_F(OwnerProfileTest, ACrashBetweenWritingAndRenamingLeavesTheOldGroups)
{
    save({1});
    EXPECT_DEATH(
        {
            OwnerProfile profile(folder(), kSampleSize);
            profile.load();
            profile.setBeforeRename([] { std::abort(); });
            profile.addGroup(makeGroup(2));
        },
        "");
    // The crash came after the group was written in full under its temporary name.
    ASSERT_TRUE(QFile::exists(folder() + "/.incoming-2/manifest.txt"));

    OwnerProfile profile(folder(), kSampleSize);
    EXPECT_TRUE(profile.isSaving()) << "the dead process's lock is stale";
    const auto groups = profile.load();
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_TRUE(sameImages(groups[0].samples, makeGroup(1)));
    EXPECT_TRUE(profile.warnings().isEmpty());
    EXPECT_FALSE(QFile::exists(folder() + "/.incoming-2")) << "the next writer deletes the leftover";
}
