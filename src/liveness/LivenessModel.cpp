#include "LivenessModel.h"

#include "Errors.h"
#include "ModelCalibration.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>

#include <cmath>
#include <map>
#include <stdexcept>

namespace {
constexpr int kFormat = 1;
const char* const kFormatKey = "format";
const char* const kFeaturesKey = "features";
const char* const kMeanKey = "mean";
const char* const kScaleKey = "scale";
const char* const kWeightsKey = "weights";
const char* const kBiasKey = "bias";
const char* const kThresholdKey = "threshold";
// Written floats carry this many significant digits: enough for every float to read back exactly.
constexpr int kFloatDigits = 9;

using Entries = std::map<QString, QString>;

[[noreturn]] void damaged(const QString& name, const QString& what)
{
    throw e_logic_argument(QString("%1: %2").arg(name, what).toStdString());
}

float finiteNumber(const QString& text, const QString& what, const QString& name)
{
    bool number = false;
    const float value = text.toFloat(&number);
    if (!number || !std::isfinite(value))
        damaged(name, QString("%1 is not a finite number").arg(what));
    return value;
}

std::vector<float> numbers(const Entries& entries, const char* key, const QString& name)
{
    const QStringList texts = requiredCalibrationEntry(entries, key, name).split(' ', Qt::SkipEmptyParts);
    if (texts.size() > int(LivenessModel::kMaxFeatures))
        damaged(name, QString("%1 has more than %2 values").arg(key).arg(LivenessModel::kMaxFeatures));
    std::vector<float> values;
    values.reserve(texts.size());
    for (const QString& text : texts)
        values.push_back(finiteNumber(text, QString("value %1 of %2").arg(values.size() + 1).arg(key), name));
    return values;
}

QString numberText(float value)
{
    return QString::number(double(value), 'g', kFloatDigits);
}

QString numbersText(const std::vector<float>& values)
{
    QStringList texts;
    for (float value : values)
        texts << numberText(value);
    return texts.join(' ');
}
}  // namespace

LivenessModel LivenessModel::parse(const QByteArray& bytes, const QString& name)
{
    if (bytes.size() > kMaxFileSize)
        damaged(name, "too large for a liveness model");
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    const Entries entries = readCalibrationEntries(buffer);
    if (requiredCalibrationEntry(entries, kFormatKey, name) != QString::number(kFormat))
        damaged(name, "unknown format");
    LivenessModel model;
    model.featureSet = requiredCalibrationEntry(entries, kFeaturesKey, name);
    model.mean = numbers(entries, kMeanKey, name);
    model.scale = numbers(entries, kScaleKey, name);
    model.weights = numbers(entries, kWeightsKey, name);
    if (model.mean.size() != model.weights.size() || model.scale.size() != model.weights.size())
        damaged(name, QString("mean, scale and weights have different counts (%1, %2, %3)")
                          .arg(model.mean.size()).arg(model.scale.size()).arg(model.weights.size()));
    for (std::size_t i = 0; i < model.scale.size(); ++i)
        if (model.scale[i] <= 0.0f)
            damaged(name, QString("value %1 of %2 is not positive").arg(i + 1).arg(kScaleKey));
    model.bias = finiteNumber(requiredCalibrationEntry(entries, kBiasKey, name), kBiasKey, name);
    model.threshold = finiteNumber(requiredCalibrationEntry(entries, kThresholdKey, name), kThresholdKey, name);
    return model;
}

LivenessModel LivenessModel::read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw e_failure_open(QString("%1: cannot be read (%2)").arg(path, file.errorString()).toStdString());
    // One byte past the limit is enough for parse to see a file too large.
    return parse(file.read(kMaxFileSize + 1), path);
}

void LivenessModel::write(const QString& path) const
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QTextStream out(&file);
        out << "# Visagio liveness model (tools/liveness-train)\n";
        out << kFormatKey << " = " << kFormat << "\n";
        out << kFeaturesKey << " = " << featureSet << "\n";
        out << kMeanKey << " = " << numbersText(mean) << "\n";
        out << kScaleKey << " = " << numbersText(scale) << "\n";
        out << kWeightsKey << " = " << numbersText(weights) << "\n";
        out << kBiasKey << " = " << numberText(bias) << "\n";
        out << kThresholdKey << " = " << numberText(threshold) << "\n";
        out.flush();
        if (file.commit())
            return;
    }
    throw std::runtime_error("cannot write the liveness model " + path.toStdString());
}

float LivenessModel::margin(const std::vector<float>& features) const
{
    const std::size_t count = weights.size();
    if (features.size() != count || mean.size() != count || scale.size() != count)
        throw std::logic_error("liveness features do not fit the model");
    double sum = bias;
    for (std::size_t i = 0; i < count; ++i)
        sum += double(weights[i]) * (double(features[i]) - mean[i]) * scale[i];
    return float(sum);
}
