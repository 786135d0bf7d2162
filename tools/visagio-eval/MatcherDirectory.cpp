#include "MatcherDirectory.h"

#include "ModelCalibration.h"
#include "RunFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace eval {

namespace {
const char* const kForeignFolder = "foreignfaces";
const char* const kCascadeFolder = "haarcascades";
} // namespace

MatcherDirectory::MatcherDirectory(const std::string& runDir, const std::string& modelFile)
    : previous(QDir::currentPath()), runDirectory(QFileInfo(QString::fromStdString(runDir)).absoluteFilePath())
{
    const QString given = modelFile.empty() ? QDir(runDirectory).filePath(kModelPath)
                                            : QFileInfo(QString::fromStdString(modelFile)).absoluteFilePath();
    if (!QFileInfo(given).isFile())
        throw std::runtime_error("model file not found: " + given.toStdString());
    model = given.toStdString();
    QString workDir = runDirectory;
    if (!modelFile.empty()) {
        temporary = std::make_unique<QTemporaryDir>(QDir::temp().filePath("visagio-eval-XXXXXX"));
        if (!temporary->isValid() || !QDir(temporary->path()).mkpath(QFileInfo(kModelPath).path()))
            throw std::runtime_error("cannot prepare a working folder for the matcher");
        workDir = temporary->path();
        linkInto(workDir, kModelPath, given);
        linkInto(workDir, QString::fromStdString(ModelCalibration::pathFor(kModelPath)),
                 QString::fromStdString(ModelCalibration::pathFor(given.toStdString())));
        linkInto(workDir, kForeignFolder, QDir(runDirectory).filePath(kForeignFolder));
        linkInto(workDir, kCascadeFolder, QDir(runDirectory).filePath(kCascadeFolder));
        linkInto(workDir, QDir::cleanPath(kResnetFolder), QDir(runDirectory).filePath(QDir::cleanPath(kResnetFolder)));
    }
    if (!QDir::setCurrent(workDir))
        throw std::runtime_error("cannot prepare a working folder for the matcher");
}

MatcherDirectory::~MatcherDirectory()
{
    QDir::setCurrent(previous);
}

std::string MatcherDirectory::foreignBase() const
{
    return QDir(runDirectory).filePath(kForeignFolder).toStdString();
}

// A missing target is simply not linked: the matcher then finds no such files, as it would
// in the run directory itself.
void MatcherDirectory::linkInto(const QString& folder, const QString& name, const QString& target) const
{
    if (!QFileInfo::exists(target))
        return;
    if (!QFile::link(target, QDir(folder).filePath(name)))
        throw std::runtime_error("cannot prepare a working folder for the matcher");
}

} // namespace eval
