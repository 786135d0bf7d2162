#pragma once

#include "LightNormalisation.h"

#include <QIODevice>
#include <QString>

#include <map>
#include <optional>
#include <string>

// The constants that come with a feature model, kept in a small text file next to it (the
// model's path + ".calibration") so that a model and its calibration travel together:
//
//   # comment
//   format = 1
//   cohort_target = 41.7
//   light_normalisation = tan-triggs
//
// cohort_target is the distance the cohort statistic of a template is mapped to (the scale
// of the verification rule is cohort_target / statistic). light_normalisation names how the
// model expects samples normalised before they become face vectors ("none" or "tan-triggs");
// without it they are taken as cut. Unknown keys are ignored, so later versions of the same
// format may add some.
struct ModelCalibration
{
    static constexpr int kFormat = 1;

    std::optional<float> cohortTarget;
    LightNormalisation lightNormalisation = LightNormalisation::None;

    // The side file of the model at `modelPath`.
    static std::string pathFor(const std::string& modelPath);

    // Ensures: the calibration read from `path`. A missing or unreadable file, another format
    //          version, or a cohort_target that is missing, malformed, not finite or not
    //          positive leaves cohortTarget empty, and a debug line names the file and why. A
    //          light_normalisation this program does not know leaves the whole calibration
    //          empty too, as the model's features cannot be made as it expects.
    static ModelCalibration read(const std::string& path);

    // Ensures: the file is written completely under a temporary name, then renamed into place.
    // Throws:  std::runtime_error naming the file when it cannot be written.
    void write(const std::string& path) const;
};

// The "key = value" lines of a calibration file open for reading, keys and values trimmed;
// blank lines, lines starting with '#' and lines without a key are skipped.
std::map<QString, QString> readCalibrationEntries(QIODevice& file);

// The value of `key` in entries read from the file `name`.
// Throws: e_logic_argument("<name>: no <key>") when it is absent or empty.
QString requiredCalibrationEntry(const std::map<QString, QString>& entries, const char* key, const QString& name);
