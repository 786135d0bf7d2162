#pragma once

#include "GaussianRbm.h"

#include <QByteArray>
#include <QImage>
#include <QMap>
#include <QString>
#include <QStringList>

// Helpers for tests that need the matcher's data files: model files of any shape, an empty
// foreign-face base, a working directory of their own and the captured debug log.

// Where FaceMatcher reads its model, inside a run directory: runDir/kModelPath.
QString matcherModelPath(const QString& runDir);

// Writes `model` to `path` in the model file format (creating the folders on the way).
// Throws: the errors of File.
void writeModelFile(const QString& path, const GaussianRbm& model);

// A model of nv visible and nh hidden units whose parameters come from `seed` (the same seed
// gives the same model everywhere): weights uniform in +-0.05, hidden biases uniform in +-1,
// visible biases 0, every sigma 1. Features of different faces then differ by about one unit,
// so verification scores vary sensibly.
GaussianRbm randomModel(int nv, int nh, unsigned seed);

// Creates runDir/kForeignFacesPath/glasgow/ and .../feret/ with an empty
// coords.txt: a foreign base of no faces.
void writeEmptyForeignBase(const QString& runDir);

// Creates a foreign base of `faces` random grey photographs (300 x 300) in the landmark
// layout, each listed in coords.txt with the same eye and mouth positions, and an empty first
// set. About a fifth of them are selected by the matcher.
void writeSyntheticForeignBase(const QString& runDir, int faces, unsigned seed);

// Everything FaceMatcher(kSampleWidth, kSampleHeight) needs in runDir: randomModel(1575, 200, seed) at the model
// path and an empty foreign base. Returns runDir.
QString prepareMatcherRunDir(const QString& runDir, unsigned seed = 1);

// A grey photograph of random levels low ... high - 1, the same for the same seed (noise, so
// that every crop position gives a different face).
QImage noisePhoto(int width, int height, unsigned seed, int low = 20, int high = 180);

// Every entry under a folder (relative path) with its size, time, permissions and, for a
// file, a hash of its bytes: two equal snapshots mean nothing there was changed.
QMap<QString, QByteArray> folderSnapshot(const QString& root);

// Writes `bytes` to `path` (creating the folders on the way); false when it cannot.
bool writeBytes(const QString& path, const QByteArray& bytes);
// The bytes of a file; empty when it cannot be read.
QByteArray readBytes(const QString& path);

// Makes a folder the process's working directory for the object's life.
class ScopedWorkingDirectory
{
public:
    explicit ScopedWorkingDirectory(const QString& directory);
    ~ScopedWorkingDirectory();
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

private:
    QString previous;
};

// Collects the Qt debug log (qDebug and the rest) for the object's life instead of printing it.
class CapturedLog
{
public:
    CapturedLog();
    ~CapturedLog();
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    // The messages so far, one entry a line, in order.
    QStringList lines() const;
    // Forgets the messages so far.
    void clear();
};
