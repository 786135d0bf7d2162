#include "FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <memory>

namespace {
const QImage::Format kFormats[] = {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_Grayscale8,
                                   QImage::Format_RGB888};

void dropDebugMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

// Copies `count` pixel bytes from `offset` on; bytes beyond the input read as 0.
void copyPixelBytes(const QByteArray& pixels, std::size_t offset, std::uint8_t* target, std::size_t count)
{
    const std::size_t available = std::size_t(pixels.size());
    const std::size_t copied = offset < available ? std::min(count, available - offset) : 0;
    if (copied > 0)
        std::memcpy(target, pixels.constData() + offset, copied);
    std::memset(target + copied, 0, count - copied);
}
} // namespace

void fuzzCheck(bool condition, const char* text, const char* file, int line)
{
    if (condition)
        return;
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, text);
    std::abort();
}

void silenceDiagnostics()
{
    qInstallMessageHandler(dropDebugMessages);
    if (!std::freopen("/dev/null", "w", stdout))
        std::fprintf(stderr, "standard output stays open\n");
}

QString scratchDir()
{
    static const std::unique_ptr<QTemporaryDir> dir = [] {
        const QString base = QDir("/dev/shm").exists() ? QString("/dev/shm") : QDir::tempPath();
        auto made = std::make_unique<QTemporaryDir>(base + "/visagio-fuzz-XXXXXX");
        fuzzCheck(made->isValid(), "scratch folder", __FILE__, __LINE__);
        return made;
    }();
    return dir->path();
}

void writeFileBytes(const QString& path, const std::uint8_t* data, std::size_t size)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
}

FaceInput decodeFaceInput(const std::uint8_t* data, std::size_t size)
{
    std::uint8_t header[kFaceHeaderSize] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < kFaceHeaderSize && i < size; ++i)
        header[i] = data[i];
    FaceInput input;
    input.channels = 1 + (header[0] & 3);
    input.format = kFormats[(header[0] >> 2) & 3];
    input.trimBackground = (header[0] & 0x10) != 0;
    if (header[0] & 0x20) {
        input.width += (header[1] & 0x0f) % 3 - 1;
        input.height += (header[1] >> 4) % 3 - 1;
    }
    input.threshold = std::int16_t(std::uint16_t(header[2]) | std::uint16_t(header[3]) << 8);
    if (size > kFaceHeaderSize)
        input.pixels = QByteArray(reinterpret_cast<const char*>(data + kFaceHeaderSize), int(size - kFaceHeaderSize));
    return input;
}

QByteArray encodeFaceInput(int channels, int formatIndex, bool trimBackground, int threshold,
                           const QByteArray& pixels)
{
    QByteArray bytes(int(kFaceHeaderSize), '\0');
    bytes[0] = char(((channels - 1) & 3) | (formatIndex & 3) << 2 | (trimBackground ? 0x10 : 0));
    bytes[1] = 0;
    bytes[2] = char(threshold & 0xff);
    bytes[3] = char((threshold >> 8) & 0xff);
    return bytes + pixels;
}

cv::Mat faceMat(const FaceInput& input)
{
    cv::Mat image(input.height, input.width, CV_8UC(input.channels));
    const std::size_t rowBytes = std::size_t(image.cols) * std::size_t(input.channels);
    for (int y = 0; y < image.rows; ++y)
        copyPixelBytes(input.pixels, std::size_t(y) * rowBytes, image.ptr<std::uint8_t>(y), rowBytes);
    return image;
}

QImage faceImage(const FaceInput& input)
{
    QImage image(kFaceWidth, kFaceHeight, input.format);
    const std::size_t rowBytes = std::size_t(kFaceWidth) * std::size_t(image.depth() / 8);
    for (int y = 0; y < image.height(); ++y)
        copyPixelBytes(input.pixels, std::size_t(y) * rowBytes, image.scanLine(y), rowBytes);
    return image;
}

QImage coordsPhoto()
{
    QImage photo(kPhotoWidth, kPhotoHeight, QImage::Format_RGB32);
    const double cx = kPhotoWidth * 0.5;
    const double cy = kPhotoHeight * 0.5;
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x) {
            const double dx = (x - cx) / (0.28 * kPhotoWidth);
            const double dy = (y - cy) / (0.46 * kPhotoHeight);
            const bool inside = dx * dx + dy * dy < 1.0;
            const int grain = (x * 7 + y * 13) % 23;
            const int level = inside ? 150 + grain : 230 + grain / 2;
            photo.setPixel(x, y, qRgb(level, level - 10, level - 20));
        }
    return photo;
}
