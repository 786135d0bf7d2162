// What the owner's reader hands root when a profile is sealed, on arbitrary bytes: the reader
// runs as the owner, so root trusts none of it. decodeRecords either returns records or throws
// CannotRun; acceptedProfile either throws CannotRun with a message or returns a profile of
// features.txt first, only the names a seal may hold, each group's manifest before its
// embeddings, groups increasing, within 16 MiB, and a digest of 64 hex digits. Nothing else
// may escape.
#include "CheckAnswer.h"
#include "FuzzSupport.h"
#include "ProfileLayout.h"
#include "SealAcceptance.h"
#include "SealDigest.h"
#include "SealRecords.h"

#include <QByteArray>
#include <QRegularExpression>

#include <cstdint>

namespace {
// The weights' key the seeds' groups are embedded under.
const QString kKey(64, 'a');
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceDiagnostics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    SealedProfile sealed;
    try {
        sealed = acceptedProfile(decodeRecords(input), "/home/owner/.local/share/visagio", kKey);
    } catch (const CannotRun& refusal) {
        FUZZ_CHECK(refusal.what()[0] != '\0');
        return 0;
    }
    static const QRegularExpression name("\\A(features\\.txt|liveness\\.txt|group-[1-9][0-9]{0,8}/"
                                         "(manifest\\.txt|embeddings\\.bin))\\z");
    FUZZ_CHECK(!sealed.files.empty() && sealed.files.front().first == "features.txt");
    FUZZ_CHECK(!sealed.groups.empty());
    qint64 total = 0;
    for (std::size_t i = 0; i < sealed.files.size(); ++i) {
        const QString& path = sealed.files[i].first;
        FUZZ_CHECK(name.match(path).hasMatch());
        if (path.endsWith("embeddings.bin"))
            FUZZ_CHECK(i > 0 && sealed.files[i - 1].first == path.left(path.indexOf('/')) + "/manifest.txt");
        total += sealed.files[i].second.size();
    }
    FUZZ_CHECK(total <= ProfileLayout::kTotalCap);
    for (std::size_t i = 1; i < sealed.groups.size(); ++i)
        FUZZ_CHECK(sealed.groups[i - 1] < sealed.groups[i]);
    FUZZ_CHECK(sealDigest(sealed.files).size() == 64);
    return 0;
}
