// The liveness model's reader on arbitrary bytes: LivenessModel::parse either returns a model
// whose mean, scale and weights have one size in [1, kMaxFeatures], every value finite, every
// scale positive, with finite bias and threshold and a margin that is a number, or throws
// e_logic_argument with a message. Nothing else may escape. A model it returns is written and
// read back, and must come back with the same numbers.
#include "Errors.h"
#include "FuzzSupport.h"
#include "LivenessModel.h"

#include <QByteArray>
#include <QDir>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {
bool allFinite(const std::vector<float>& values)
{
    for (float value : values)
        if (!std::isfinite(value))
            return false;
    return true;
}

bool sameNumbers(const LivenessModel& a, const LivenessModel& b)
{
    return a.mean == b.mean && a.scale == b.scale && a.weights == b.weights && a.bias == b.bias
           && a.threshold == b.threshold;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceDiagnostics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    LivenessModel model;
    try {
        model = LivenessModel::parse(bytes, "fuzz");
    } catch (const e_logic_argument& error) {
        FUZZ_CHECK(!error.message().empty());
        return 0;
    }
    const std::size_t count = model.weights.size();
    FUZZ_CHECK(count >= 1 && count <= LivenessModel::kMaxFeatures);
    FUZZ_CHECK(model.mean.size() == count && model.scale.size() == count);
    FUZZ_CHECK(allFinite(model.mean) && allFinite(model.scale) && allFinite(model.weights));
    for (float scale : model.scale)
        FUZZ_CHECK(scale > 0.0f);
    FUZZ_CHECK(std::isfinite(model.bias) && std::isfinite(model.threshold));
    FUZZ_CHECK(!model.featureSet.isEmpty());
    FUZZ_CHECK(!std::isnan(model.margin(std::vector<float>(count, 0.0f))));

    const QString path = QDir(scratchDir()).filePath(LivenessModel::kFileName);
    model.write(path);
    FUZZ_CHECK(sameNumbers(LivenessModel::read(path), model));
    return 0;
}
