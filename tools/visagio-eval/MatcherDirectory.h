#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>

namespace eval {

// The matchers read their models, foreign-face base and cascades by fixed relative paths. This
// makes the working directory a folder that holds them for the object's life: the run
// directory itself, or, when another model file is given, a temporary folder that links that
// model and the run directory's foreign base, cascades and face-resnet.
class MatcherDirectory
{
public:
    // Requires: runDir holds glasgow-45x35/200/100-res.grbm unless `model` names a model file.
    // Throws:   std::runtime_error("model file not found: <path>") or
    //           ("cannot prepare a working folder for the matcher").
    MatcherDirectory(const std::string& runDir, const std::string& model);
    // Ensures: the previous working directory is restored.
    ~MatcherDirectory();
    MatcherDirectory(const MatcherDirectory&) = delete;
    MatcherDirectory& operator=(const MatcherDirectory&) = delete;

    // The model file the matcher will read, as an absolute path.
    const std::string& modelPath() const { return model; }
    // The run directory's foreign base as an absolute path (it may not exist).
    std::string foreignBase() const;

private:
    void linkInto(const QString& folder, const QString& name, const QString& target) const;

    QString previous;
    QString runDirectory;
    std::unique_ptr<QTemporaryDir> temporary;
    std::string model;
};

} // namespace eval
