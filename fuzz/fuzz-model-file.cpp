// The model loader on arbitrary bytes: operator>>(Stream&, GaussianRbm&) through a File over a
// scratch file. Every input either loads a model of exactly the shape its header states, with
// the stream positioned just after the parameters, or fails with e_failure_read, keeping the
// model that was there before. Nothing else may escape, and nothing may allocate more than the
// file could fill (run with -malloc_limit_mb to enforce it).
#include "Errors.h"
#include "File.h"
#include "FuzzSupport.h"
#include "GaussianRbm.h"

#include <QFile>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {
// The model every run starts from, so that a failed load can be seen to keep it.
constexpr int kBeforeVisible = 3;
constexpr int kBeforeHidden = 2;
constexpr float kBeforeWeight = 0.25f;

QString modelPath()
{
    static const QString path = scratchDir() + "/model.grbm";
    return path;
}

GaussianRbm modelBefore()
{
    GaussianRbm model(kBeforeVisible, kBeforeHidden);
    for (std::vector<float>& row : model.weights)
        std::fill(row.begin(), row.end(), kBeforeWeight);
    std::fill(model.visibleSigma.begin(), model.visibleSigma.end(), 1.0f);
    return model;
}

std::int32_t headerCount(const std::uint8_t* data, std::size_t offset)
{
    std::int32_t value = 0;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

void checkLoaded(const GaussianRbm& model, const File& file, const std::uint8_t* data, std::size_t size)
{
    FUZZ_CHECK(size >= 8);
    const std::int64_t nv = headerCount(data, 0);
    const std::int64_t nh = headerCount(data, 4);
    FUZZ_CHECK(nv > 0 && nh > 0);
    FUZZ_CHECK(model.visibleCount() == nv && model.hiddenCount() == nh);
    FUZZ_CHECK(model.batchSize() == -1);
    model.requireShape();
    const std::int64_t length = 8 + 4 * (2 * nv + nh + nh * nv);
    FUZZ_CHECK(file.tell() == length);
    FUZZ_CHECK(std::int64_t(size) >= length);
    FUZZ_CHECK(std::memcmp(model.visibleBias.data(), data + 8, std::size_t(4 * nv)) == 0);
    FUZZ_CHECK(std::memcmp(model.weights.back().data(), data + length - 4 * nv, std::size_t(4 * nv)) == 0);
}

// A loaded model computes features for a batch of one row whatever its parameters hold.
void computeOneRow(GaussianRbm& model)
{
    model.setBatch({std::vector<float>(std::size_t(model.visibleCount()), 1.0f)});
    model.computeHidden();
    FUZZ_CHECK(model.batchSize() == 1);
    FUZZ_CHECK(int(model.hiddenRow(0).size()) == model.hiddenCount());
}

void checkKept(const GaussianRbm& model)
{
    const GaussianRbm before = modelBefore();
    FUZZ_CHECK(model.visibleCount() == kBeforeVisible && model.hiddenCount() == kBeforeHidden);
    FUZZ_CHECK(model.weights == before.weights && model.visibleSigma == before.visibleSigma);
    FUZZ_CHECK(model.batchSize() == -1);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceDiagnostics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    writeFileBytes(modelPath(), data, size);
    File file(QFile::encodeName(modelPath()).toStdString());
    file.openRead();
    GaussianRbm model = modelBefore();
    model.setBatch({std::vector<float>(kBeforeVisible, 0.5f)});
    try {
        file >> model;
    } catch (const e_failure_read& error) {
        FUZZ_CHECK(error.message() == "Unexpected end of file");
        checkKept(model);
        return 0;
    }
    checkLoaded(model, file, data, size);
    computeOneRow(model);
    return 0;
}
