#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <string>
#include <vector>

// Network weights as TensorFlow.js stores them: a JSON manifest that lists the tensors (name,
// shape, storage) and one binary file holding them back to back in the manifest's order. A
// tensor is either uint8-quantised (value = q * scale + min, scale and min in the manifest) or
// little-endian float32. The networks (ResnetWeights.h, LandmarkWeights.h) each give the list
// of tensors their architecture expects; the reader checks the files against it.

// One tensor as the manifest describes it (or, in an expected list, by name and shape alone).
struct TensorLayout
{
    std::string name;
    std::vector<int> shape;
    bool quantised = false;  // uint8 with scale and min; otherwise float32
    double scale = 0.0;
    double min = 0.0;
};

// One tensor's values, in the manifest's (TensorFlow, row-major) layout.
struct WeightTensor
{
    std::vector<int> shape;
    std::vector<float> values;
};

using WeightTensors = std::map<std::string, WeightTensor>;

// Requires: json is the manifest's text; expected is not empty.
// Ensures:  the tensors in file order, by name and shape exactly those of `expected`.
// Throws:   e_logic_argument("<what is wrong>") for text that is not such a manifest, a
//           tensor missing, unknown or out of order, a shape that does not fit, or a
//           quantisation that is not uint8 with a finite scale and min.
std::vector<TensorLayout> parseWeightsManifest(const QByteArray& json, const std::vector<TensorLayout>& expected);

// Reads the manifest and the weights file.
// Requires: expected is not empty.
// Ensures:  every tensor of `expected` by name, all values finite.
// Throws:   e_failure_open("<path>: <reason>") for a file that cannot be opened;
//           e_failure_read("<path>: <reason>") for one that cannot be read to its end;
//           e_logic_argument("<path>: <what is wrong>") for a damaged one (the manifest's errors
//           above, a weights file of the wrong size, non-finite values).
WeightTensors readWeights(const QString& manifestPath, const QString& weightsPath,
                          const std::vector<TensorLayout>& expected);
