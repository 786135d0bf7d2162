#include "GroupFolder.h"

#include "Errors.h"

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <opencv2/imgcodecs.hpp>

#include <unistd.h>

namespace {
const char* const kManifestName = "manifest.txt";
const char* const kManifestKind = "visagio enrolment group";
// Raised when the layout changes; a reader refuses any other version.
constexpr int kFormatVersion = 1;
// A manifest claiming more samples than this is damaged (a group holds 100 as collected).
constexpr int kMaxSamples = 10000;
const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);
const QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

QString sampleName(int index)
{
    return QString("sample-%1.png").arg(index, 3, 10, QLatin1Char('0'));
}

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

// Checks the manifest and returns its sample count.
int readManifest(const QString& folder, cv::Size sampleSize)
{
    QByteArray text = readFile(folder, kManifestName);
    QTextStream in(&text);
    if (in.readLine() != kManifestKind)
        damaged(QString("%1 is not a Visagio group manifest").arg(kManifestName));
    const QStringList format = in.readLine().split(' ');
    if (format.size() != 2 || format[0] != "format" || format[1].toInt() != kFormatVersion)
        damaged(QString("unknown format version \"%1\"").arg(format.join(' ')));
    const QStringList size = in.readLine().split(' ');
    if (size.size() != 3 || size[0] != "size" || size[1].toInt() != sampleSize.width ||
        size[2].toInt() != sampleSize.height)
        damaged(QString("samples of \"%1\", expected size %2 %3")
                    .arg(size.join(' ')).arg(sampleSize.width).arg(sampleSize.height));
    const QStringList samples = in.readLine().split(' ');
    bool ok = false;
    const int count = samples.size() == 2 && samples[0] == "samples" ? samples[1].toInt(&ok) : 0;
    if (!ok || count < 1 || count > kMaxSamples)
        damaged(QString("bad sample count \"%1\"").arg(samples.join(' ')));
    return count;
}

cv::Mat readSample(const QString& folder, const QString& name, cv::Size sampleSize)
{
    const QByteArray bytes = readFile(folder, name);
    if (!bytes.startsWith(kPngSignature))
        damaged(QString("%1 is not a PNG image").arg(name));
    const cv::Mat encoded(1, bytes.size(), CV_8UC1, const_cast<char*>(bytes.constData()));
    const cv::Mat sample = cv::imdecode(encoded, cv::IMREAD_UNCHANGED);
    if (sample.empty())
        damaged(QString("%1 does not decode (truncated or corrupt)").arg(name));
    if (sample.type() != CV_8UC1 || sample.size() != sampleSize)
        damaged(QString("%1 is %2 x %3 with %4 channel(s), expected 8-bit grey %5 x %6")
                    .arg(name).arg(sample.cols).arg(sample.rows).arg(sample.channels())
                    .arg(sampleSize.width).arg(sampleSize.height));
    return sample;
}
}  // namespace

void writeGroupFolder(const QString& folder, const std::vector<cv::Mat>& samples)
{
    const QDir dir(folder);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        std::vector<uchar> png;
        cv::imencode(".png", samples[i], png);
        writeFile(dir.filePath(sampleName(static_cast<int>(i))),
                  QByteArray(reinterpret_cast<const char*>(png.data()), static_cast<int>(png.size())));
    }
    const cv::Size size = samples.front().size();
    const QString manifest = QString("%1\nformat %2\nsize %3 %4\nsamples %5\n")
                                 .arg(kManifestKind).arg(kFormatVersion)
                                 .arg(size.width).arg(size.height).arg(samples.size());
    writeFile(dir.filePath(kManifestName), manifest.toUtf8());
}

std::vector<cv::Mat> readGroupFolder(const QString& folder, cv::Size sampleSize)
{
    const int count = readManifest(folder, sampleSize);
    std::vector<cv::Mat> samples;
    for (int i = 0; i < count; ++i)
        samples.push_back(readSample(folder, sampleName(i), sampleSize));
    return samples;
}
