#include "TfjsWeights.h"

#include "Errors.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace {
// Bytes a stored value takes: uint8 when quantised, float32 otherwise.
constexpr std::int64_t kQuantisedBytes = 1;
constexpr std::int64_t kFloatBytes = 4;
// Manifest fields (TensorFlow.js weights manifest).
constexpr const char* kTensorType = "float32";
constexpr const char* kQuantisedType = "uint8";

[[noreturn]] void damaged(const std::string& context, const std::string& what)
{
    throw e_logic_argument(context + what);
}

std::string shapeText(const std::vector<int>& shape)
{
    std::string text = "[";
    for (std::size_t i = 0; i < shape.size(); ++i)
        text += (i ? "," : "") + std::to_string(shape[i]);
    return text + "]";
}

// The shape of a tensor entry, which must be the expected one.
std::vector<int> readShape(const QJsonObject& entry, const TensorLayout& expected, const std::string& context)
{
    const QJsonArray sizes = entry.value("shape").toArray();
    std::vector<int> shape;
    for (const QJsonValue& size : sizes)
        shape.push_back(size.isDouble() && size.toDouble() == size.toInt(-1) ? size.toInt() : -1);
    if (shape != expected.shape)
        damaged(context, "shape of " + expected.name + " is " + shapeText(shape) + ", expected " +
                             shapeText(expected.shape));
    return shape;
}

void readQuantisation(const QJsonObject& entry, TensorLayout& layout, const std::string& context)
{
    if (!entry.contains("quantization"))
        return;
    const QJsonObject quantisation = entry.value("quantization").toObject();
    const QJsonValue scale = quantisation.value("scale");
    const QJsonValue min = quantisation.value("min");
    if (quantisation.value("dtype").toString() != kQuantisedType || !scale.isDouble() || !min.isDouble() ||
        !std::isfinite(scale.toDouble()) || !std::isfinite(min.toDouble()))
        damaged(context, "quantisation of " + layout.name + " is not uint8 with a finite scale and min");
    layout.quantised = true;
    layout.scale = scale.toDouble();
    layout.min = min.toDouble();
}

TensorLayout readLayout(const QJsonValue& value, const TensorLayout& expected, const std::string& context)
{
    const QJsonObject entry = value.toObject();
    const std::string name = entry.value("name").toString().toStdString();
    if (name != expected.name)
        damaged(context, "tensor \"" + name + "\" found where " + expected.name + " belongs");
    if (entry.value("dtype").toString() != kTensorType)
        damaged(context, "type of " + name + " is not " + kTensorType);
    TensorLayout layout;
    layout.name = name;
    layout.shape = readShape(entry, expected, context);
    readQuantisation(entry, layout, context);
    return layout;
}

// The manifest's list of tensors: an array of one group with a "weights" list.
QJsonArray tensorEntries(const QByteArray& json, const std::string& context)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        damaged(context, "not JSON: " + error.errorString().toStdString());
    const QJsonArray groups = document.array();
    if (groups.size() != 1 || !groups.first().toObject().value("weights").isArray())
        damaged(context, "not a weights manifest of one group with a \"weights\" list");
    return groups.first().toObject().value("weights").toArray();
}

std::vector<TensorLayout> parseManifest(const QByteArray& json, const std::vector<TensorLayout>& expected,
                                        const std::string& context)
{
    const QJsonArray entries = tensorEntries(json, context);
    std::vector<TensorLayout> layouts;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (int(i) >= entries.size())
            damaged(context, "tensor " + expected[i].name + " is missing");
        layouts.push_back(readLayout(entries.at(int(i)), expected[i], context));
    }
    if (std::size_t(entries.size()) > expected.size())
        damaged(context, "extra tensors after " + expected.back().name + ": " +
                             std::to_string(entries.size() - int(expected.size())));
    return layouts;
}

std::int64_t valueCount(const TensorLayout& layout)
{
    std::int64_t count = 1;
    for (int size : layout.shape)
        count *= size;
    return count;
}

std::int64_t storedBytes(const std::vector<TensorLayout>& layouts)
{
    std::int64_t bytes = 0;
    for (const TensorLayout& layout : layouts)
        bytes += valueCount(layout) * (layout.quantised ? kQuantisedBytes : kFloatBytes);
    return bytes;
}

float littleEndianFloat(const unsigned char* bytes)
{
    const std::uint32_t bits = std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 |
                               std::uint32_t(bytes[2]) << 16 | std::uint32_t(bytes[3]) << 24;
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Decodes one tensor starting at `bytes`; returns the bytes it took.
std::int64_t decodeTensor(const TensorLayout& layout, const unsigned char* bytes, WeightTensor& tensor)
{
    const std::int64_t count = valueCount(layout);
    tensor.shape = layout.shape;
    tensor.values.resize(std::size_t(count));
    for (std::int64_t i = 0; i < count; ++i)
        tensor.values[std::size_t(i)] = layout.quantised ? float(bytes[i] * layout.scale + layout.min)
                                                       : littleEndianFloat(bytes + kFloatBytes * i);
    return count * (layout.quantised ? kQuantisedBytes : kFloatBytes);
}

bool allFinite(const std::vector<float>& values)
{
    for (float value : values)
        if (!std::isfinite(value))
            return false;
    return true;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw e_failure_open(path.toStdString() + ": " + file.errorString().toStdString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw e_failure_read(path.toStdString() + ": " + file.errorString().toStdString());
    return bytes;
}
} // namespace

std::vector<TensorLayout> parseWeightsManifest(const QByteArray& json, const std::vector<TensorLayout>& expected)
{
    return parseManifest(json, expected, "");
}

WeightTensors readWeights(const QString& manifestPath, const QString& weightsPath,
                          const std::vector<TensorLayout>& expected)
{
    const std::vector<TensorLayout> layouts =
        parseManifest(readFile(manifestPath), expected, manifestPath.toStdString() + ": ");
    const QByteArray weights = readFile(weightsPath);
    const std::string context = weightsPath.toStdString() + ": ";
    const std::int64_t expectedBytes = storedBytes(layouts);
    if (weights.size() != expectedBytes)
        damaged(context, std::to_string(weights.size()) + " bytes, expected " + std::to_string(expectedBytes));
    WeightTensors tensors;
    const auto* next = reinterpret_cast<const unsigned char*>(weights.constData());
    for (const TensorLayout& layout : layouts) {
        WeightTensor& tensor = tensors[layout.name];
        next += decodeTensor(layout, next, tensor);
        if (!allFinite(tensor.values))
            damaged(context, "non-finite value in " + layout.name);
    }
    return tensors;
}
