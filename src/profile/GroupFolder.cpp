#include "GroupFolder.h"

#include "Errors.h"
#include "GroupManifest.h"
#include "PrivateFiles.h"
#include "ProfileLayout.h"

#include <QDir>
#include <QFile>
#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {
const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);

QString sampleName(int index)
{
    return ProfileLayout::imageName("sample", index);
}

QString chipName(int index)
{
    return ProfileLayout::imageName("chip", index);
}

// Writes the bytes as a new 0600 file and syncs it, so that a rename after this call never
// exposes a file whose contents are still only in the page cache.
void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file;
    if (!openPrivateFile(file, path))
        throw e_failure_write(QString("cannot write %1: %2").arg(path, std::strerror(errno)).toStdString());
    if (!(file.write(bytes) == bytes.size() && file.flush() && ::fsync(file.handle()) == 0))
        throw e_failure_write(QString("cannot write %1: %2").arg(path, file.errorString()).toStdString());
}

QByteArray readFile(const QString& folder, const QString& name)
{
    QFile file(QDir(folder).filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        throw e_logic_argument(QString("%1 cannot be read: %2").arg(name, file.errorString()).toStdString());
    return file.readAll();
}

void damaged(const QString& what)
{
    throw e_logic_argument(what.toStdString());
}

cv::Mat readImage(const QString& folder, const QString& name, cv::Size size, int type)
{
    const QByteArray bytes = readFile(folder, name);
    if (!bytes.startsWith(kPngSignature))
        damaged(QString("%1 is not a PNG image").arg(name));
    const cv::Mat encoded(1, bytes.size(), CV_8UC1, const_cast<char*>(bytes.constData()));
    const cv::Mat sample = cv::imdecode(encoded, cv::IMREAD_UNCHANGED);
    if (sample.empty())
        damaged(QString("%1 does not decode (truncated or corrupt)").arg(name));
    if (sample.type() != type || sample.size() != size)
        damaged(QString("%1 is %2 x %3 with %4 channel(s), expected 8-bit %5 x %6 with %7")
                    .arg(name).arg(sample.cols).arg(sample.rows).arg(sample.channels())
                    .arg(size.width).arg(size.height).arg(CV_MAT_CN(type)));
    return sample;
}

QByteArray pngBytes(const cv::Mat& image)
{
    std::vector<uchar> png;
    cv::imencode(".png", image, png);
    return QByteArray(reinterpret_cast<const char*>(png.data()), static_cast<int>(png.size()));
}

// The embeddings back to back as little-endian float32 (the machine's order on every platform
// the program is built for).
QByteArray embeddingBytes(const std::vector<std::vector<float>>& embeddings)
{
    QByteArray bytes;
    for (const std::vector<float>& embedding : embeddings)
        bytes.append(reinterpret_cast<const char*>(embedding.data()), int(embedding.size() * sizeof(float)));
    return bytes;
}
}  // namespace

void writeGroupFolder(const QString& folder, const EnrolmentGroup& group)
{
    const QDir dir(folder);
    for (std::size_t i = 0; i < group.samples.size(); ++i)
        writeFile(dir.filePath(sampleName(int(i))), pngBytes(group.samples[i]));
    for (std::size_t i = 0; i < group.chips.size(); ++i)
        writeFile(dir.filePath(chipName(int(i))), pngBytes(group.chips[i]));
    const cv::Size size = group.samples.front().size();
    QString manifest = QString("%1\nformat %2\nsize %3 %4\nsamples %5\n")
                           .arg(GroupManifest::kKind)
                           .arg(group.hasChips() ? GroupManifest::kChipsFormat : GroupManifest::kSamplesOnlyFormat)
                           .arg(size.width).arg(size.height).arg(group.samples.size());
    if (group.hasChips()) {
        writeFile(dir.filePath(GroupManifest::kEmbeddingsFileName), embeddingBytes(group.embeddings));
        manifest += QString("chips %1 %1\nembeddings %2 %3\n")
                        .arg(group.chips.front().cols).arg(group.embeddingModel)
                        .arg(group.embeddings.front().size());
        if (!group.chipAligner.isEmpty())
            manifest += QString("aligned %1\n").arg(group.chipAligner);
    }
    writeFile(dir.filePath(GroupManifest::kFileName), manifest.toUtf8());
}

EnrolmentGroup readGroupFolder(const QString& folder, cv::Size sampleSize)
{
    const GroupManifest manifest = parseGroupManifest(readFile(folder, GroupManifest::kFileName), sampleSize);
    EnrolmentGroup group;
    for (int i = 0; i < manifest.count; ++i)
        group.samples.push_back(readImage(folder, sampleName(i), sampleSize, CV_8UC1));
    if (manifest.format == GroupManifest::kSamplesOnlyFormat)
        return group;
    const cv::Size chipSize(manifest.chipSide, manifest.chipSide);
    for (int i = 0; i < manifest.count; ++i)
        group.chips.push_back(readImage(folder, chipName(i), chipSize, CV_8UC3));
    group.embeddings = parseEmbeddings(readFile(folder, GroupManifest::kEmbeddingsFileName), manifest);
    group.embeddingModel = manifest.embeddingModel;
    group.chipAligner = manifest.chipAligner;
    return group;
}
