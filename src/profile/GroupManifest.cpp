#include "GroupManifest.h"

#include "Errors.h"
#include "FaceResnet.h"

#include <QRegularExpression>
#include <QTextStream>

#include <cmath>
#include <cstring>

namespace {
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

// A name of lower-case letters, digits and dashes, as short as a word.
bool alignerName(const QString& name)
{
    static const QRegularExpression pattern("^[a-z0-9-]{1,32}$");
    return pattern.match(name).hasMatch();
}

// Groups saved before chips were aligned by landmarks end after the embeddings line.
void readAlignerLine(QTextStream& in, GroupManifest& manifest)
{
    const QString line = in.readLine();
    if (line.isEmpty())
        return;
    const QStringList aligned = line.split(' ');
    if (aligned.size() != 2 || aligned[0] != "aligned" || !alignerName(aligned[1]))
        damaged("bad aligned line");
    manifest.chipAligner = aligned[1];
}

// The distance of an embedding reads as many values of the face as the stored one holds, so
// a length other than the network's is damage, not a variant.
void readChipLines(QTextStream& in, GroupManifest& manifest)
{
    const QStringList chips = manifestLine(in, "chips", 2);
    manifest.chipSide = chips.isEmpty() || chips[0] != chips[1] ? 0 : positive(chips[0], GroupManifest::kMaxChipSide);
    if (manifest.chipSide == 0)
        damaged("bad chip size line");
    const QStringList embeddings = manifestLine(in, "embeddings", 2);
    if (embeddings.isEmpty() || embeddings[0].isEmpty())
        damaged("bad embeddings line");
    if (embeddings[1] != QString::number(FaceResnet::kEmbeddingSize))
        damaged(QString("embeddings of \"%1\" values, expected %2").arg(embeddings[1]).arg(FaceResnet::kEmbeddingSize));
    manifest.embeddingModel = embeddings[0];
    manifest.embeddingSize = FaceResnet::kEmbeddingSize;
    readAlignerLine(in, manifest);
}
} // namespace

GroupManifest parseGroupManifest(const QByteArray& text, cv::Size sampleSize)
{
    QByteArray copy = text;
    QTextStream in(&copy);
    if (in.readLine() != GroupManifest::kKind)
        damaged(QString("%1 is not a Visagio group manifest").arg(GroupManifest::kFileName));
    GroupManifest manifest;
    const QStringList format = in.readLine().split(' ');
    if (format.size() == 2 && format[0] == "format")
        manifest.format = format[1].toInt();
    if (manifest.format != GroupManifest::kSamplesOnlyFormat && manifest.format != GroupManifest::kChipsFormat)
        damaged(QString("unknown format version \"%1\"").arg(format.join(' ')));
    const QStringList size = in.readLine().split(' ');
    if (size.size() != 3 || size[0] != "size" || size[1].toInt() != sampleSize.width ||
        size[2].toInt() != sampleSize.height)
        damaged(QString("samples of \"%1\", expected size %2 %3")
                    .arg(size.join(' ')).arg(sampleSize.width).arg(sampleSize.height));
    const QStringList samples = manifestLine(in, "samples", 1);
    manifest.count = samples.isEmpty() ? 0 : positive(samples[0], GroupManifest::kMaxSamples);
    if (manifest.count == 0)
        damaged("bad sample count");
    if (manifest.format == GroupManifest::kChipsFormat)
        readChipLines(in, manifest);
    return manifest;
}

std::vector<std::vector<float>> parseEmbeddings(const QByteArray& bytes, const GroupManifest& manifest)
{
    const qsizetype size = manifest.embeddingSize;
    const qsizetype expected = qsizetype(manifest.count) * size * qsizetype(sizeof(float));
    if (manifest.format != GroupManifest::kChipsFormat || size <= 0 || bytes.size() != expected)
        damaged(QString("%1 holds %2 bytes, expected %3").arg(GroupManifest::kEmbeddingsFileName).arg(bytes.size()).arg(expected));
    std::vector<std::vector<float>> embeddings(manifest.count, std::vector<float>(std::size_t(size)));
    for (int i = 0; i < manifest.count; ++i) {
        std::memcpy(embeddings[i].data(), bytes.constData() + qsizetype(i) * size * qsizetype(sizeof(float)),
                    std::size_t(size) * sizeof(float));
        for (float value : embeddings[i])
            if (!std::isfinite(value))
                damaged(QString("%1 holds a value that is not finite").arg(GroupManifest::kEmbeddingsFileName));
    }
    return embeddings;
}
