// The weights manifest reader (TfjsWeights.h, which the landmark network shares) on arbitrary
// bytes, against the face-resnet's tensors: parseWeightsManifest either returns the
// architecture's tensors in order, each with its expected shape and, when quantised, a finite
// scale and min, or throws e_logic_argument with a message. Nothing else may escape. The net
// itself is not built: its weights alone would pass the run's memory limit.
#include "Errors.h"
#include "FuzzSupport.h"
#include "ResnetWeights.h"

#include <QByteArray>

#include <cmath>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceDiagnostics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray json = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    std::vector<TensorLayout> layouts;
    try {
        layouts = parseWeightsManifest(json, resnetTensors());
    } catch (const e_logic_argument& error) {
        FUZZ_CHECK(!error.message().empty());
        return 0;
    }
    const std::vector<TensorLayout>& expected = resnetTensors();
    FUZZ_CHECK(layouts.size() == expected.size());
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        FUZZ_CHECK(layouts[i].name == expected[i].name && layouts[i].shape == expected[i].shape);
        FUZZ_CHECK(!layouts[i].quantised || (std::isfinite(layouts[i].scale) && std::isfinite(layouts[i].min)));
    }
    return 0;
}
