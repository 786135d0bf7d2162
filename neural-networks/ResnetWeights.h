#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <string>
#include <vector>

// The face-resnet's weights as the TensorFlow.js port stores them: a JSON manifest that lists
// the tensors (name, shape, storage) and one binary file holding them back to back in the
// manifest's order. Most tensors are uint8-quantised (value = q * scale + min); the others are
// little-endian float32.

// The architecture the weights must fit: a first convolution (kResnetStem, 7 x 7, 3 -> 32
// channels), the residual blocks below, and a fully connected layer (kResnetFc, 256 -> 128,
// no bias). Each convolution layer is named <layer>/conv/{filters,bias} and
// <layer>/scale/{weights,biases}; a block holds the layers <block>/conv1 and <block>/conv2.
inline constexpr const char* kResnetStem = "conv32_down";
inline constexpr const char* kResnetFc = "fc";

// One residual block, in the order the input passes them.
struct ResnetBlock
{
    const char* name;
    int inChannels;
    int outChannels;
    bool down;  // halves the size: stride-2 first convolution, average-pooled shortcut
};

inline constexpr ResnetBlock kResnetBlocks[] = {
    {"conv32_1", 32, 32, false},       {"conv32_2", 32, 32, false},
    {"conv32_3", 32, 32, false},       {"conv64_down", 32, 64, true},
    {"conv64_1", 64, 64, false},       {"conv64_2", 64, 64, false},
    {"conv64_3", 64, 64, false},       {"conv128_down", 64, 128, true},
    {"conv128_1", 128, 128, false},    {"conv128_2", 128, 128, false},
    {"conv256_down", 128, 256, true},  {"conv256_1", 256, 256, false},
    {"conv256_2", 256, 256, false},    {"conv256_down_out", 256, 256, true},
};

// One tensor as the manifest describes it.
struct ResnetTensorLayout
{
    std::string name;
    std::vector<int> shape;
    bool quantised = false;  // uint8 with scale and min; otherwise float32
    double scale = 0.0;
    double min = 0.0;
};

// One tensor's values, in the manifest's (TensorFlow, row-major) layout.
struct ResnetTensor
{
    std::vector<int> shape;
    std::vector<float> values;
};

// Ensures: the tensors the architecture expects in file order, by name and shape (scale and
//          min are left 0 and quantised false: the manifest decides those).
const std::vector<ResnetTensorLayout>& resnetTensors();

// Requires: json is the manifest's text.
// Ensures:  the tensors in file order, each shape checked against the architecture.
// Throws:   e_logic_argument("<what is wrong>") for text that is not such a manifest, a
//           tensor missing, unknown or out of order, or a shape that does not fit.
std::vector<ResnetTensorLayout> parseResnetManifest(const QByteArray& json);

// Reads the manifest and the weights file.
// Ensures:  every tensor of the architecture by name, all values finite.
// Throws:   e_failure_open("<path>: <reason>") for a file that cannot be opened;
//           e_failure_read("<path>: <reason>") for one that cannot be read to its end;
//           e_logic_argument("<path>: <what is wrong>") for a damaged one (the manifest's errors
//           above, a weights file of the wrong size, non-finite values).
std::map<std::string, ResnetTensor> readResnetWeights(const QString& manifestPath, const QString& weightsPath);
