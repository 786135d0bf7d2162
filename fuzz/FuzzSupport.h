#pragma once

#include "FaceGeometry.h"
#include <QByteArray>
#include <QImage>
#include <QString>
#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>

// What the fuzz targets and the seed writer share: a scratch folder, quiet diagnostics, the
// layout of a face-image input and the photograph the "coords.txt" target crops from.

// Stops a target as a crash (libFuzzer keeps the input) when `condition` is false.
#define FUZZ_CHECK(condition) fuzzCheck((condition), #condition, __FILE__, __LINE__)
void fuzzCheck(bool condition, const char* text, const char* file, int line);

// Drops the Qt debug and info log and the standard output (a failed model read prints the
// stdio indicators there): millions of inputs would otherwise flood the terminal. Warnings
// and errors still reach standard error.
void silenceDiagnostics();

// A folder of this process's own for the files the targets write, removed at exit; in
// /dev/shm when it can be, so that writing an input per run stays cheap.
QString scratchDir();

// Requires: the folder of `path` exists. Ensures: the file holds exactly the bytes.
void writeFileBytes(const QString& path, const std::uint8_t* data, std::size_t size);

// A face-image input: a header of 4 bytes, then pixel bytes (missing ones read as 0).
//   byte 0, bits 0-1: channels - 1 of the OpenCV image (1 ... 4)
//           bits 2-3: format of the Qt image (RGB32, ARGB32, Grayscale8, RGB888)
//           bit 4:    trim the background (the first foreign set's conversion)
//           bit 5:    the OpenCV image is off by -1 ... +1 pixels in each direction (byte 1)
//   byte 1: width offset (low nibble mod 3, minus 1) and height offset (high nibble mod 3, minus 1)
//   bytes 2-3: threshold of the trimming, int16 little-endian
struct FaceInput
{
    int channels = 1;
    QImage::Format format = QImage::Format_RGB32;
    bool trimBackground = false;
    int width = kSampleWidth;
    int height = kSampleHeight;
    int threshold = 0;
    QByteArray pixels;
};

constexpr int kFaceWidth = kSampleWidth;
constexpr int kFaceHeight = kSampleHeight;
constexpr std::size_t kFaceHeaderSize = 4;

FaceInput decodeFaceInput(const std::uint8_t* data, std::size_t size);
QByteArray encodeFaceInput(int channels, int formatIndex, bool trimBackground, int threshold,
                           const QByteArray& pixels);

// Ensures: an 8-bit image of the input's size and channel count filled from its pixel bytes.
cv::Mat faceMat(const FaceInput& input);
// Ensures: a 35 x 45 image of the input's format filled from its pixel bytes, row by row.
QImage faceImage(const FaceInput& input);

// The photograph that the "coords.txt" inputs name: "face" (scratchDir()/face.jpg), an
// 80 x 60 JPEG (small, as every record decodes it again) with a face-like light oval; its eyes
// are near (28, 25) and (52, 25), its mouth near y 45.
const char* const kPhotoName = "face";
constexpr int kPhotoWidth = 80;
constexpr int kPhotoHeight = 60;
QImage coordsPhoto();
