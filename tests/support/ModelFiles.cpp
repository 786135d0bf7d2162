#include "ModelFiles.h"

#include "FaceGeometry.h"
#include "File.h"
#include "RunFolder.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>
#include <opencv2/core.hpp>

#include <algorithm>
#include <random>

namespace {
constexpr float kWeightSpread = 0.05f;
constexpr float kBiasSpread = 1.0f;
constexpr int kFaceValues = kSampleWidth * kSampleHeight;
constexpr int kFeatures = 200;

// Uniform in [-spread, spread) from the generator's raw output (same on every platform).
float uniform(std::mt19937& generator, float spread)
{
    const double unit = double(generator() >> 8) / double(1u << 24);
    return float((2.0 * unit - 1.0) * spread);
}

bool makeParentFolder(const QString& path)
{
    return QDir().mkpath(QFileInfo(path).absolutePath());
}

// The one capture in force (captures do not nest).
QStringList capturedLines;
QtMessageHandler previousHandler = nullptr;
} // namespace

QString matcherModelPath(const QString& runDir)
{
    return QDir(runDir).filePath(kModelPath);
}

void writeModelFile(const QString& path, const GaussianRbm& model)
{
    makeParentFolder(path);
    File file(QFile::encodeName(path).toStdString());
    file.openWrite();
    file << model;
    file.close();
}

GaussianRbm randomModel(int nv, int nh, unsigned seed)
{
    GaussianRbm model(nv, nh);
    std::mt19937 generator(seed);
    for (float& bias : model.hiddenBias)
        bias = uniform(generator, kBiasSpread);
    for (std::vector<float>& row : model.weights)
        for (float& weight : row)
            weight = uniform(generator, kWeightSpread);
    std::fill(model.visibleBias.begin(), model.visibleBias.end(), 0.0f);
    std::fill(model.visibleSigma.begin(), model.visibleSigma.end(), 1.0f);
    return model;
}

void writeEmptyForeignBase(const QString& runDir)
{
    const QDir root(QDir(runDir).filePath(kForeignFacesPath));
    root.mkpath("glasgow");
    root.mkpath("feret");
    writeBytes(root.filePath("feret/coords.txt"), QByteArray());
}

void writeSyntheticForeignBase(const QString& runDir, int faces, unsigned seed)
{
    writeEmptyForeignBase(runDir);
    const QDir feret(QDir(QDir(runDir).filePath(kForeignFacesPath)).filePath("feret"));
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> grey(40, 220);
    QByteArray index;
    for (int k = 0; k < faces; ++k) {
        QImage photo(300, 300, QImage::Format_RGB32);
        for (int y = 0; y < photo.height(); y += 10)
            for (int x = 0; x < photo.width(); x += 10) {
                const int v = grey(generator);
                for (int dy = 0; dy < 10; ++dy)
                    for (int dx = 0; dx < 10; ++dx)
                        photo.setPixel(x + dx, y + dy, qRgb(v, v, v));
            }
        const QString name = QString("face%1").arg(k);
        photo.save(feret.filePath(name + ".jpg"));
        index += (name + " 100 120 160 120 130 150 110 190\n").toUtf8();
    }
    writeBytes(feret.filePath("coords.txt"), index);
}

QString prepareMatcherRunDir(const QString& runDir, unsigned seed)
{
    writeModelFile(matcherModelPath(runDir), randomModel(kFaceValues, kFeatures, seed));
    writeEmptyForeignBase(runDir);
    return runDir;
}

QImage noisePhoto(int width, int height, unsigned seed, int low, int high)
{
    cv::Mat levels(height, width, CV_8UC1);
    cv::RNG(seed).fill(levels, cv::RNG::UNIFORM, low, high);
    QImage photo(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            photo.setPixel(x, y, qRgb(levels.at<uchar>(y, x), levels.at<uchar>(y, x), levels.at<uchar>(y, x)));
    return photo;
}

QMap<QString, QByteArray> folderSnapshot(const QString& root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QByteArray entry = QByteArray::number(info.size()) + " " + QByteArray::number(int(info.permissions()))
                           + " " + QByteArray::number(info.lastModified().toMSecsSinceEpoch());
        QFile file(info.filePath());
        if (info.isFile() && file.open(QIODevice::ReadOnly))
            entry += " " + QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex();
        entries.insert(QDir(root).relativeFilePath(info.filePath()), entry);
    }
    return entries;
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    makeParentFolder(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

ScopedWorkingDirectory::ScopedWorkingDirectory(const QString& directory)
    : previous(QDir::currentPath())
{
    QDir::setCurrent(directory);
}

ScopedWorkingDirectory::~ScopedWorkingDirectory()
{
    QDir::setCurrent(previous);
}

CapturedLog::CapturedLog()
{
    capturedLines.clear();
    previousHandler = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { capturedLines.append(message); });
}

CapturedLog::~CapturedLog()
{
    qInstallMessageHandler(previousHandler);
    capturedLines.clear();
}

QStringList CapturedLog::lines() const
{
    return capturedLines;
}

void CapturedLog::clear()
{
    capturedLines.clear();
}
