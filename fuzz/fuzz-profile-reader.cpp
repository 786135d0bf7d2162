// The headless check's profile reader on a tiny private profile made of arbitrary bytes: the
// input up to its first NUL byte is group-1's manifest.txt, the rest its embeddings.bin, beside
// features.txt "resnet" and three empty samples and chips (checked, never decoded).
// readCheckedProfile either returns that one group, its embeddings (format 2) the manifest's
// count of 128 finite values each, or throws ProfileRefused with a message. Nothing else may
// escape.
#include "Errors.h"
#include "FaceResnet.h"
#include "FuzzSupport.h"
#include "GroupManifest.h"
#include "ProfileReader.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cmath>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Images present in the group: a manifest claiming up to this many samples can be sound.
constexpr int kImages = 3;

QString profileFolder()
{
    return scratchDir() + "/profile";
}

QString groupFolder()
{
    return profileFolder() + "/group-1";
}

void makePrivateFolder(const QString& path)
{
    FUZZ_CHECK(::mkdir(QFile::encodeName(path).constData(), 0700) == 0);
}

// A new file of the owner's alone; later writes truncate it and keep its mode.
void makePrivateFile(const QString& path, const QByteArray& bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size());
    ::close(fd);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceDiagnostics();
    makePrivateFolder(profileFolder());
    makePrivateFolder(groupFolder());
    makePrivateFile(profileFolder() + "/features.txt", "resnet\n");
    for (const char* name : {GroupManifest::kFileName, GroupManifest::kEmbeddingsFileName})
        makePrivateFile(groupFolder() + "/" + name, QByteArray());
    for (int i = 0; i < kImages; ++i)
        for (const char* kind : {"sample", "chip"}) {
            const QString name = QString("%1-%2.png").arg(kind).arg(i, 3, 10, QLatin1Char('0'));
            makePrivateFile(groupFolder() + "/" + name, QByteArray());
        }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const int split = input.indexOf('\0');
    const QByteArray manifest = split < 0 ? input : input.left(split);
    const QByteArray embeddings = split < 0 ? QByteArray() : input.mid(split + 1);
    writeFileBytes(groupFolder() + "/" + GroupManifest::kFileName, data, std::size_t(manifest.size()));
    writeFileBytes(groupFolder() + "/" + GroupManifest::kEmbeddingsFileName,
                   reinterpret_cast<const std::uint8_t*>(embeddings.constData()), std::size_t(embeddings.size()));
    try {
        const CheckedProfile profile = readCheckedProfile(profileFolder(), {::geteuid(), ::getegid()});
        FUZZ_CHECK(profile.features == "resnet");
        FUZZ_CHECK(profile.groups.size() == 1 && profile.groups[0].number == 1);
        const CheckedGroup& group = profile.groups[0];
        FUZZ_CHECK(group.manifest.count >= 1 && group.manifest.count <= kImages);
        const bool chips = group.manifest.format == GroupManifest::kChipsFormat;
        FUZZ_CHECK(chips || (group.manifest.format == GroupManifest::kSamplesOnlyFormat && group.embeddings.empty()));
        FUZZ_CHECK(!chips || int(group.embeddings.size()) == group.manifest.count);
        for (const std::vector<float>& embedding : group.embeddings) {
            FUZZ_CHECK(int(embedding.size()) == FaceResnet::kEmbeddingSize);
            for (float value : embedding)
                FUZZ_CHECK(std::isfinite(value));
        }
        FUZZ_CHECK(profile.files.size() == (chips ? 3u : 2u));
    } catch (const ProfileRefused& error) {
        FUZZ_CHECK(!error.message().empty());
    }
    return 0;
}
