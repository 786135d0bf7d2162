// Root's side of sudo visagio-check --seal: what the owner's reader hands over is taken only
// in the expected names and order, within the caps, and only when root, parsing it again,
// finds a profile the check takes whose every group it would use.
#include "CheckAnswer.h"
#include "ChipGeometry.h"
#include "EnrolmentGroup.h"
#include "FaceGeometry.h"
#include "FaceResnet.h"
#include "GroupFolder.h"
#include "PrivateFiles.h"
#include "SealAcceptance.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {
const QString kKey(64, 'a');
const QString kOtherKey(64, 'b');
const char* const kFolder = "/home/owner/.local/share/visagio";

// The manifest and embeddings the window writes for a group of four faces under `key`.
std::pair<QByteArray, QByteArray> groupFiles(const QString& key)
{
    QTemporaryDir temp;
    const QString folder = temp.filePath("group");
    EXPECT_TRUE(makePrivateFolder(folder));
    EnrolmentGroup group(std::vector<cv::Mat>(4, cv::Mat(kSampleSize, CV_8UC1, cv::Scalar(120))));
    for (int i = 0; i < 4; ++i) {
        group.chips.push_back(cv::Mat(16, 16, CV_8UC3, cv::Scalar(10, 20, 30)));
        group.embeddings.push_back(std::vector<float>(FaceResnet::kEmbeddingSize, 0.01f * float(i + 1)));
    }
    group.embeddingModel = key;
    group.chipAligner = kChipAligner;
    writeGroupFolder(folder, group);
    QFile manifest(folder + "/manifest.txt");
    QFile embeddings(folder + "/embeddings.bin");
    EXPECT_TRUE(manifest.open(QIODevice::ReadOnly) && embeddings.open(QIODevice::ReadOnly));
    return {manifest.readAll(), embeddings.readAll()};
}

SealRecord file(const QByteArray& name, const QByteArray& bytes)
{
    return {SealRecord::File, name, bytes};
}

class SealAcceptanceTest : public testing::Test
{
protected:
    // What the reader sends for group-1 and group-3 of the installed weights, group-2 of others
    // left out.
    std::vector<SealRecord> sound() const
    {
        return {file("features.txt", "resnet\n"),
                file("liveness.txt", "on\n"),
                file("group-1/manifest.txt", ours.first),
                file("group-1/embeddings.bin", ours.second),
                {SealRecord::LeftOut, "group-2", "embedded by other network weights"},
                file("group-3/manifest.txt", ours.first),
                file("group-3/embeddings.bin", ours.second)};
    }

    std::string refusal(const std::vector<SealRecord>& records) const
    {
        try {
            acceptedProfile(records, kFolder, kKey);
        } catch (const CannotRun& error) {
            return error.what();
        }
        return "accepted";
    }

    std::pair<QByteArray, QByteArray> ours = groupFiles(kKey);
    std::pair<QByteArray, QByteArray> theirs = groupFiles(kOtherKey);
};
}  // namespace

TEST_F(SealAcceptanceTest, SoundProfileIsTakenInOrderWithItsLeftOutGroups)
{
    const SealedProfile sealed = acceptedProfile(sound(), kFolder, kKey);
    ASSERT_EQ(sealed.files.size(), 6u);
    EXPECT_EQ(sealed.files[5].first, "group-3/embeddings.bin");
    EXPECT_EQ(sealed.files[5].second, ours.second);
    EXPECT_EQ(sealed.groups, (std::vector<int>{1, 3}));
    ASSERT_EQ(sealed.leftOut.size(), 1u);
    EXPECT_EQ(sealed.leftOut[0].first, 2);

    std::vector<SealRecord> withoutLiveness = sound();
    withoutLiveness.erase(withoutLiveness.begin() + 1);
    EXPECT_EQ(acceptedProfile(withoutLiveness, kFolder, kKey).files.size(), 5u);
    // A reason is shown as printable ASCII.
    std::vector<SealRecord> controls = sound();
    controls[4].data = "other\x1b[2Jweights";
    EXPECT_EQ(acceptedProfile(controls, kFolder, kKey).leftOut[0].second, "other?[2Jweights");
}

TEST_F(SealAcceptanceTest, AnythingElseIsRefused)
{
    using Change = std::function<void(std::vector<SealRecord>&)>;
    const std::vector<std::tuple<const char*, Change, std::string>> cases = {
        {"features.txt missing", [](auto& r) { r.erase(r.begin()); }, "unexpected file liveness.txt"},
        {"settings swapped", [](auto& r) { std::swap(r[0], r[1]); }, "unexpected file liveness.txt"},
        {"groups out of order", [](auto& r) { std::swap(r[2], r[5]); std::swap(r[3], r[6]); },
         "unexpected file group-1/manifest.txt"},
        {"embeddings of another group", [](auto& r) { r[3].name = "group-3/embeddings.bin"; },
         "unexpected file group-3/embeddings.bin"},
        {"an image", [](auto& r) { r[3].name = "group-1/sample-000.png"; }, "unexpected file group-1/sample-000.png"},
        {"a path out of the group", [](auto& r) { r[2].name = "group-1/../manifest.txt"; },
         "unexpected file group-1/../manifest.txt"},
        {"a group number with a leading zero", [](auto& r) { r[2].name = "group-01/manifest.txt"; },
         "unexpected file group-01/manifest.txt"},
        {"a manifest over its cap", [](auto& r) { r[2].data += QByteArray(4096, '#'); },
         "group-1/manifest.txt is larger than 4096 bytes"},
        {"more than 16 MiB in all",
         [](auto& r) {
             for (int n = 4; n < 21; ++n) {
                 r.push_back(file("group-" + QByteArray::number(n) + "/manifest.txt", "x"));
                 r.push_back(file("group-" + QByteArray::number(n) + "/embeddings.bin", QByteArray(1024 * 1024, 0)));
             }
         },
         "the profile passes the 16 MiB it may hold in all"},
        {"a group the check leaves out", [&](auto& r) { r[5].data = theirs.first; r[6].data = theirs.second; },
         "group-3, which the check would leave out"},
        {"a left-out group also sealed", [](auto& r) { r[4].name = "group-3"; }, "both sealed and left out"},
        {"grbm", [](auto& r) { r[0].data = "grbm\n"; }, "verifies with the grbm model"},
        {"liveness off", [](auto& r) { r[1].data = "off\n"; }, "the liveness check is off"},
        {"liveness damaged", [](auto& r) { r[1].data = "maybe\n"; }, "liveness.txt is damaged"},
        {"embeddings cut short", [](auto& r) { r[3].data.chop(4); }, "group-1 is damaged"},
        {"a manifest without embeddings", [](auto& r) { r.pop_back(); }, "came over incomplete"},
        {"no group", [](auto& r) { r.erase(r.begin() + 2, r.end()); }, "came over incomplete"},
        {"the reader's refusal",
         [](auto& r) { r = {{SealRecord::Refusal, {}, "'/home/owner/x' is a symbolic link\n"}}; },
         "'/home/owner/x' is a symbolic link?"},
        {"a refusal without words", [](auto& r) { r = {{SealRecord::Refusal, "no owner profile", {}}}; },
         "refused it without a reason"},
        {"an unknown kind", [](auto& r) { r[4].kind = 'X'; }, "came over damaged"},
    };
    for (const auto& [name, change, expected] : cases) {
        SCOPED_TRACE(name);
        std::vector<SealRecord> records = sound();
        change(records);
        const std::string message = refusal(records);
        EXPECT_NE(message.find(expected), std::string::npos) << message;
    }
}

TEST_F(SealAcceptanceTest, RecordsRoundTripAndBytesCutShortAreRefused)
{
    QByteArray bytes;
    for (const SealRecord& record : sound())
        bytes += encodeRecord(record);
    const std::vector<SealRecord> decoded = decodeRecords(bytes);
    ASSERT_EQ(decoded.size(), sound().size());
    EXPECT_EQ(decoded[4].kind, SealRecord::LeftOut);
    EXPECT_EQ(decoded[6].data, ours.second);
    for (const int cut : {1, 5, int(bytes.size()) - 1}) {
        SCOPED_TRACE(cut);
        EXPECT_THROW(decodeRecords(bytes.left(bytes.size() - cut)), CannotRun);
    }
}
