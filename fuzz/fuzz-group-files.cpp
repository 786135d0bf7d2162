// An enrolment group's manifest and embeddings on arbitrary bytes: the input is the manifest
// up to its first NUL byte and the embeddings file after it. parseGroupManifest either returns
// a manifest of a known format with a sample count in [1, kMaxSamples] (and, in format 2, a
// chip side in [1, kMaxChipSide], a weights key and the network's embedding size), or throws
// e_logic_argument with a message; parseEmbeddings either returns the manifest's count of
// embeddings of that size, every value finite, or throws the same way. Nothing else may escape.
#include "Errors.h"
#include "FaceGeometry.h"
#include "FaceResnet.h"
#include "FuzzSupport.h"
#include "GroupManifest.h"

#include <QByteArray>

#include <cmath>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceDiagnostics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const int split = input.indexOf('\0');
    const QByteArray manifestText = split < 0 ? input : input.left(split);
    const QByteArray embeddingBytes = split < 0 ? QByteArray() : input.mid(split + 1);
    GroupManifest manifest;
    try {
        manifest = parseGroupManifest(manifestText, kSampleSize);
    } catch (const e_logic_argument& error) {
        FUZZ_CHECK(!error.message().empty());
        return 0;
    }
    FUZZ_CHECK(manifest.count >= 1 && manifest.count <= GroupManifest::kMaxSamples);
    FUZZ_CHECK(manifest.format == GroupManifest::kSamplesOnlyFormat || manifest.format == GroupManifest::kChipsFormat);
    if (manifest.format == GroupManifest::kSamplesOnlyFormat)
        return 0;
    FUZZ_CHECK(manifest.chipSide >= 1 && manifest.chipSide <= GroupManifest::kMaxChipSide);
    FUZZ_CHECK(!manifest.embeddingModel.isEmpty());
    FUZZ_CHECK(manifest.embeddingSize == FaceResnet::kEmbeddingSize);
    try {
        const auto embeddings = parseEmbeddings(embeddingBytes, manifest);
        FUZZ_CHECK(int(embeddings.size()) == manifest.count);
        for (const std::vector<float>& embedding : embeddings) {
            FUZZ_CHECK(int(embedding.size()) == FaceResnet::kEmbeddingSize);
            for (float value : embedding)
                FUZZ_CHECK(std::isfinite(value));
        }
    } catch (const e_logic_argument& error) {
        FUZZ_CHECK(!error.message().empty());
    }
    return 0;
}
