#include "ModelCalibration.h"

#include "Errors.h"

#include <QDebug>
#include <QFile>
#include <QSaveFile>
#include <QString>
#include <QTextStream>

#include <cmath>
#include <map>
#include <stdexcept>

namespace {
const char* const kSuffix = ".calibration";
const char* const kFormatKey = "format";
const char* const kCohortTargetKey = "cohort_target";
const char* const kLightKey = "light_normalisation";
const char* const kLightNone = "none";
const char* const kLightTanTriggs = "tan-triggs";

void reportIgnored(const std::string& path, const char* why)
{
    qDebug() << "model calibration" << QString::fromStdString(path) << "ignored:" << why;
}

} // namespace

std::map<QString, QString> readCalibrationEntries(QIODevice& file)
{
    std::map<QString, QString> entries;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const int equals = line.indexOf('=');
        if (equals > 0)
            entries[line.left(equals).trimmed()] = line.mid(equals + 1).trimmed();
    }
    return entries;
}

QString requiredCalibrationEntry(const std::map<QString, QString>& entries, const char* key, const QString& name)
{
    const auto entry = entries.find(key);
    if (entry == entries.end() || entry->second.isEmpty())
        throw e_logic_argument(QString("%1: no %2").arg(name, key).toStdString());
    return entry->second;
}

std::string ModelCalibration::pathFor(const std::string& modelPath)
{
    return modelPath + kSuffix;
}

ModelCalibration ModelCalibration::read(const std::string& path)
{
    ModelCalibration calibration;
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        reportIgnored(path, "cannot be read");
        return calibration;
    }
    const std::map<QString, QString> entries = readCalibrationEntries(file);
    const auto format = entries.find(kFormatKey);
    if (format == entries.end() || format->second != QString::number(kFormat)) {
        reportIgnored(path, "unknown format");
        return calibration;
    }
    const auto light = entries.find(kLightKey);
    if (light != entries.end() && light->second == kLightTanTriggs) {
        calibration.lightNormalisation = LightNormalisation::TanTriggs;
    } else if (light != entries.end() && light->second != kLightNone) {
        reportIgnored(path, "unknown light_normalisation");
        return calibration;
    }
    const auto target = entries.find(kCohortTargetKey);
    bool number = false;
    const float value = target == entries.end() ? 0.0f : target->second.toFloat(&number);
    if (!number || !std::isfinite(value) || value <= 0.0f) {
        reportIgnored(path, "no positive cohort_target");
        return calibration;
    }
    calibration.cohortTarget = value;
    return calibration;
}

void ModelCalibration::write(const std::string& path) const
{
    QSaveFile file(QString::fromStdString(path));
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QTextStream out(&file);
        out << "# Calibration of the feature model beside this file (Visagio)\n";
        out << kFormatKey << " = " << kFormat << "\n";
        if (cohortTarget)
            out << kCohortTargetKey << " = " << QString::number(double(*cohortTarget), 'g', 9) << "\n";
        if (lightNormalisation == LightNormalisation::TanTriggs)
            out << kLightKey << " = " << kLightTanTriggs << "\n";
        out.flush();
        if (file.commit())
            return;
    }
    throw std::runtime_error("cannot write the model calibration " + path);
}
