#include "GroupFolder.h"

#include "Errors.h"

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <cstring>
#include <unistd.h>

namespace {
const char* const kManifestName = "manifest.txt";
const char* const kManifestKind = "visagio enrolment group";
// Raised when the layout changes; a reader refuses any version it does not know. Format 1 has
// samples only, format 2 adds the chips and their embeddings.
constexpr int kSamplesOnlyFormat = 1;
constexpr int kChipsFormat = 2;
const char* const kEmbeddingsName = "embeddings.bin";
// The longest embedding a manifest may claim (the network's is 128 values).
constexpr int kMaxEmbeddingSize = 4096;
// The largest chip side a manifest may claim (the network's chip is 150).
constexpr int kMaxChipSide = 1024;
// A manifest claiming more samples than this is damaged (a group holds 100 as collected).
constexpr int kMaxSamples = 10000;
const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);
const QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

QString sampleName(int index)
{
    return QString("sample-%1.png").arg(index, 3, 10, QLatin1Char('0'));
}

QString chipName(int index)
{
    return QString("chip-%1.png").arg(index, 3, 10, QLatin1Char('0'));
}

// What the manifest says of a group.
struct Manifest
{
    int format = 0;
    int count = 0;
    int chipSide = 0;
    QString embeddingModel;
    int embeddingSize = 0;
};

// Writes the bytes as a new 0600 file and syncs it, so that a rename after this call never
// exposes a file whose contents are still only in the page cache.
void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::NewOnly) &&
                         file.setPermissions(kOwnerOnly) && file.write(bytes) == bytes.size() &&
                         file.flush() && ::fsync(file.handle()) == 0;
    if (!written)
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

// A "key value..." line of the manifest, split; empty unless its key is `key` and it has
// `values` values.
QStringList manifestLine(QTextStream& in, const char* key, int values)
{
    const QStringList parts = in.readLine().split(' ');
    if (parts.size() != values + 1 || parts[0] != key)
        return QStringList();
    return parts.mid(1);
}

int positive(const QString& text, int limit)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 1 && value <= limit ? value : 0;
}

void readChipLines(QTextStream& in, Manifest& manifest)
{
    const QStringList chips = manifestLine(in, "chips", 2);
    manifest.chipSide = chips.isEmpty() || chips[0] != chips[1] ? 0 : positive(chips[0], kMaxChipSide);
    if (manifest.chipSide == 0)
        damaged("bad chip size line");
    const QStringList embeddings = manifestLine(in, "embeddings", 2);
    manifest.embeddingSize = embeddings.isEmpty() ? 0 : positive(embeddings[1], kMaxEmbeddingSize);
    if (manifest.embeddingSize == 0 || embeddings[0].isEmpty())
        damaged("bad embeddings line");
    manifest.embeddingModel = embeddings[0];
}

Manifest readManifest(const QString& folder, cv::Size sampleSize)
{
    QByteArray text = readFile(folder, kManifestName);
    QTextStream in(&text);
    if (in.readLine() != kManifestKind)
        damaged(QString("%1 is not a Visagio group manifest").arg(kManifestName));
    Manifest manifest;
    const QStringList format = in.readLine().split(' ');
    if (format.size() == 2 && format[0] == "format")
        manifest.format = format[1].toInt();
    if (manifest.format != kSamplesOnlyFormat && manifest.format != kChipsFormat)
        damaged(QString("unknown format version \"%1\"").arg(format.join(' ')));
    const QStringList size = in.readLine().split(' ');
    if (size.size() != 3 || size[0] != "size" || size[1].toInt() != sampleSize.width ||
        size[2].toInt() != sampleSize.height)
        damaged(QString("samples of \"%1\", expected size %2 %3")
                    .arg(size.join(' ')).arg(sampleSize.width).arg(sampleSize.height));
    const QStringList samples = manifestLine(in, "samples", 1);
    manifest.count = samples.isEmpty() ? 0 : positive(samples[0], kMaxSamples);
    if (manifest.count == 0)
        damaged("bad sample count");
    if (manifest.format == kChipsFormat)
        readChipLines(in, manifest);
    return manifest;
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

std::vector<std::vector<float>> readEmbeddings(const QString& folder, const Manifest& manifest)
{
    const QByteArray bytes = readFile(folder, kEmbeddingsName);
    const qsizetype values = qsizetype(manifest.count) * manifest.embeddingSize;
    if (bytes.size() != values * qsizetype(sizeof(float)))
        damaged(QString("%1 holds %2 bytes, expected %3").arg(kEmbeddingsName).arg(bytes.size())
                    .arg(values * qsizetype(sizeof(float))));
    std::vector<std::vector<float>> embeddings(manifest.count, std::vector<float>(manifest.embeddingSize));
    for (int i = 0; i < manifest.count; ++i) {
        std::memcpy(embeddings[i].data(), bytes.constData() + qsizetype(i) * manifest.embeddingSize * 4,
                    manifest.embeddingSize * sizeof(float));
        for (float value : embeddings[i])
            if (!std::isfinite(value))
                damaged(QString("%1 holds a value that is not finite").arg(kEmbeddingsName));
    }
    return embeddings;
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
                           .arg(kManifestKind).arg(group.hasChips() ? kChipsFormat : kSamplesOnlyFormat)
                           .arg(size.width).arg(size.height).arg(group.samples.size());
    if (group.hasChips()) {
        writeFile(dir.filePath(kEmbeddingsName), embeddingBytes(group.embeddings));
        manifest += QString("chips %1 %1\nembeddings %2 %3\n")
                        .arg(group.chips.front().cols).arg(group.embeddingModel)
                        .arg(group.embeddings.front().size());
    }
    writeFile(dir.filePath(kManifestName), manifest.toUtf8());
}

EnrolmentGroup readGroupFolder(const QString& folder, cv::Size sampleSize)
{
    const Manifest manifest = readManifest(folder, sampleSize);
    EnrolmentGroup group;
    for (int i = 0; i < manifest.count; ++i)
        group.samples.push_back(readImage(folder, sampleName(i), sampleSize, CV_8UC1));
    if (manifest.format == kSamplesOnlyFormat)
        return group;
    const cv::Size chipSize(manifest.chipSide, manifest.chipSide);
    for (int i = 0; i < manifest.count; ++i)
        group.chips.push_back(readImage(folder, chipName(i), chipSize, CV_8UC3));
    group.embeddings = readEmbeddings(folder, manifest);
    group.embeddingModel = manifest.embeddingModel;
    return group;
}
