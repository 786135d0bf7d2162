#include "ResnetCalibration.h"

#include "Errors.h"
#include "ModelCalibration.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cmath>
#include <map>
#include <stdexcept>

namespace {
constexpr int kFormat = 1;
const char* const kFormatKey = "format";
const char* const kModelKey = "model_sha256";
const char* const kDistanceKey = "distance";
const char* const kScaleKey = "distance_scale";
const char* const kCosine = "cosine";
const char* const kEuclidean = "euclidean";
// A file larger than this is not a calibration.
constexpr qint64 kMaxFileSize = 4096;

[[noreturn]] void damaged(const QString& path, const QString& what)
{
    throw e_logic_argument(QString("%1: %2").arg(path, what).toStdString());
}

std::map<QString, QString> readEntries(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw e_failure_open(QString("%1: cannot be read (%2)").arg(path, file.errorString()).toStdString());
    if (file.size() > kMaxFileSize)
        damaged(path, "too large for a calibration");
    return readCalibrationEntries(file);
}

}  // namespace

ResnetCalibration ResnetCalibration::read(const QString& path)
{
    const std::map<QString, QString> entries = readEntries(path);
    if (requiredCalibrationEntry(entries, kFormatKey, path) != QString::number(kFormat))
        damaged(path, "unknown format");
    ResnetCalibration calibration;
    calibration.modelSha256 = requiredCalibrationEntry(entries, kModelKey, path);
    const QString distance = requiredCalibrationEntry(entries, kDistanceKey, path);
    if (distance == kCosine)
        calibration.distance = Distance::Cosine;
    else if (distance == kEuclidean)
        calibration.distance = Distance::Euclidean;
    else
        damaged(path, QString("unknown distance \"%1\"").arg(distance));
    bool number = false;
    calibration.scale = requiredCalibrationEntry(entries, kScaleKey, path).toFloat(&number);
    if (!number || !std::isfinite(calibration.scale) || calibration.scale <= 0.0f)
        damaged(path, QString("%1 is not a positive number").arg(kScaleKey));
    return calibration;
}

void ResnetCalibration::write(const QString& path) const
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QTextStream out(&file);
        out << "# Calibration of the face-resnet model beside this file (Visagio, resnet-calibrate)\n";
        out << kFormatKey << " = " << kFormat << "\n";
        out << kModelKey << " = " << modelSha256 << "\n";
        out << kDistanceKey << " = " << (distance == Distance::Cosine ? kCosine : kEuclidean) << "\n";
        out << kScaleKey << " = " << QString::number(double(scale), 'g', 9) << "\n";
        out.flush();
        if (file.commit())
            return;
    }
    throw std::runtime_error("cannot write the face-resnet calibration " + path.toStdString());
}
