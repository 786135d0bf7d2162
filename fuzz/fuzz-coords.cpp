// The "coords.txt" reader on arbitrary text: AnnotatedFaceList over a scratch folder holding
// the index and one real photograph ("face", see FuzzSupport.h), then the face crop of each
// record as the foreign-face base takes it (at, scaled to 35 x 45, both conversions). Records
// may hold any numbers, including coordinates far outside the photograph: no crash, no crop
// larger than the photograph could justify, no NaN or infinity in a face vector, and an index
// past the end is "Out of range".
#include "AnnotatedFaceList.h"
#include "Errors.h"
#include "FaceVector.h"
#include "FuzzSupport.h"
#include "RandomSource.h"

#include <QImage>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {
// Records cut per input: each one decodes the photograph again.
constexpr unsigned kMaxCrops = 4;
const QSize kFaceSize(kFaceWidth, kFaceHeight);
constexpr int kFirstSetThreshold = 210;
constexpr int kSecondSetThreshold = 255;

void writePhoto()
{
    FUZZ_CHECK(coordsPhoto().save(scratchDir() + "/" + kPhotoName + ".jpg", "JPG", 90));
}

void checkVector(const std::vector<float>& vector)
{
    FUZZ_CHECK(vector.size() == std::size_t(kFaceWidth) * kFaceHeight);
    for (float v : vector)
        FUZZ_CHECK(std::isfinite(v));
}

void checkCrop(const QImage& crop, RandomSource& random)
{
    // The crop is at most twice the photograph's size in each direction.
    FUZZ_CHECK(crop.width() <= 2 * kPhotoWidth && crop.height() <= 2 * kPhotoHeight);
    const QImage face = crop.scaled(kFaceSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    FUZZ_CHECK(face.size() == kFaceSize);
    checkVector(photoFaceVector(face, false, kSecondSetThreshold, random));
    checkVector(photoFaceVector(face, true, kFirstSetThreshold, random));
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceDiagnostics();
    writePhoto();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    writeFileBytes(scratchDir() + "/coords.txt", data, size);
    const AnnotatedFaceList list(scratchDir());
    FUZZ_CHECK(int(list.size()) == list.records().size());
    RandomSource random;
    for (unsigned i = 0; i < list.size() && i < kMaxCrops; ++i) {
        const QImage crop = list.at(i);
        if (!crop.isNull())
            checkCrop(crop, random);
    }
    try {
        list.at(list.size());
    } catch (const e_logic_range& error) {
        FUZZ_CHECK(error.message() == "Out of range");
        return 0;
    }
    FUZZ_CHECK(!"an index past the end gave a crop");
    return 0;
}
