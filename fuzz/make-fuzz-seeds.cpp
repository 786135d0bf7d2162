// Writes the seed corpora of the fuzz targets: small valid files of each format and the damaged
// variants the tests use, all made here with the project's own writers.
//   make-fuzz-seeds DIR
// creates DIR/fuzz-model-file/, DIR/fuzz-coords/, DIR/fuzz-face-vector/,
// DIR/fuzz-resnet-manifest/, DIR/fuzz-liveness-model/, DIR/fuzz-group-files/, DIR/fuzz-profile-reader/,
// DIR/fuzz-seal-records/
// (one seed a file) and the dictionary DIR/fuzz-coords.dict.
#include "ChipGeometry.h"
#include "File.h"
#include "FuzzSupport.h"
#include "FaceResnet.h"
#include "GaussianRbm.h"
#include "GroupFolder.h"
#include "GroupManifest.h"
#include "LivenessModel.h"
#include "ResnetWeights.h"
#include "SealRecords.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {
using Seeds = std::vector<std::pair<QString, QByteArray>>;

void writeSeed(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

void writeSeeds(const QString& dir, const Seeds& seeds)
{
    if (!QDir().mkpath(dir))
        throw std::runtime_error("cannot make " + dir.toStdString());
    for (const auto& [name, bytes] : seeds)
        writeSeed(QDir(dir).filePath(name), bytes);
}

QByteArray int32Bytes(std::int32_t value)
{
    return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
}

QByteArray readBack(const QString& path)
{
    QFile written(path);
    if (!written.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read back " + path.toStdString());
    return written.readAll();
}

// The model file of an nv x nh model with distinct small parameters, as the loader reads it.
QByteArray modelBytes(int nv, int nh, const QString& scratch)
{
    GaussianRbm model(nv, nh);
    float next = 0.0f;
    for (std::vector<float>* values : {&model.visibleBias, &model.hiddenBias, &model.visibleSigma})
        for (float& v : *values)
            v = (next += 0.125f);
    for (std::vector<float>& row : model.weights)
        for (float& w : row)
            w = (next -= 0.0625f);
    const QString path = QDir(scratch).filePath("seed.grbm");
    {
        File file(QFile::encodeName(path).toStdString());
        file.openWrite();
        file << model;
        file.close();
    }
    return readBack(path);
}

Seeds modelSeeds(const QString& scratch)
{
    const QByteArray small = modelBytes(3, 2, scratch);
    const QByteArray square = modelBytes(8, 8, scratch);
    const QByteArray tail = int32Bytes(1) + int32Bytes(1);
    return {
        {"one-by-one", modelBytes(1, 1, scratch)},
        {"three-by-two", small},
        {"eight-by-eight", square},
        {"thirty-five-by-four", modelBytes(35, 4, scratch)},
        {"trailing-bytes", small + QByteArray(100, '\x7f')},
        {"empty", QByteArray()},
        {"header-cut", small.left(6)},
        {"weights-cut", square.left(square.size() - 3)},
        {"negative-count", int32Bytes(-1) + int32Bytes(2) + small.mid(8)},
        {"gigabytes", int32Bytes(1 << 16) + int32Bytes(1 << 15) + small.mid(8)},
        {"zero-visible", int32Bytes(0) + int32Bytes(2) + small.mid(8)},
        {"zero-hidden", int32Bytes(3) + int32Bytes(0) + small.mid(8)},
        {"header-only", tail},
    };
}

// Bytes that are no text at all, around a record-like line.
const char kGarbage[] = "\x00\xff\xfe face\t-1 +2 0x10 1e3 ,,, \xc3\xa9 5 6 7 8 9\n";

Seeds coordsSeeds()
{
    // The photograph's eyes and mouth (FuzzSupport.h): crops inside it, at its edges, outside
    // it, and too large for it.
    return {
        {"one-record", "face 28 25 52 25 40 35 40 45\n"},
        {"several", "face 28 25 52 25 40 35 40 45\nface 20 15 60 16 40 30 40 50\n"
                    "face 0 0 80 0 40 30 40 60\nface 75 55 79 55 77 57 77 59\n"},
        {"blank-lines", "\n\n   \n\t\nface 28 25 52 25 40 35 40 45\n\n"},
        {"short-and-long", "face 28 25 52\nface 28 25 52 25 40 35 40 45 extra parts here\n"},
        {"leading-blank", " face 28 25 52 25 40 35 40 45\n"},
        {"crlf", "face 28 25 52 25 40 35 40 45\r\nface 25 22 55 22 40 35 40 48\r\n"},
        {"huge-numbers", "face 4294967295 25 52 25 40 35 40 45\n"
                         "face 28 4294967295 52 25 40 35 40 4294967295\n"
                         "face 2147483648 0 0 0 0 0 0 2147483647\n"
                         "face 99999999999 1 2 3 4 5 6 7\n"},
        {"far-outside", "face 100000 100000 100100 100000 0 0 0 100150\n"
                        "face 0 0 3000 0 0 0 0 4000\nface 0 0 40 0 0 0 0 60\n"},
        {"eyes-swapped", "face 52 25 28 25 40 35 40 45\n"},
        {"mouth-above-eyes", "face 28 45 52 45 40 35 40 10\n"},
        {"missing-photo", "nobody 28 25 52 25 40 35 40 45\n"},
        {"garbage", QByteArray(kGarbage, sizeof kGarbage - 1)},
    };
}

QByteArray coordsDictionary()
{
    QByteArray dict;
    const QStringList tokens = {"face", " ", "\\x09", "\\x0a", "\\x0d\\x0a", "0", "1", "4294967295", "4294967296",
                                "2147483647", "2147483648", "-1", "99999999999", "1000000", "nobody"};
    for (const QString& token : tokens)
        dict += "\"" + token.toUtf8() + "\"\n";
    return dict;
}

QByteArray pattern(int count, int (*level)(int))
{
    QByteArray bytes(count, '\0');
    for (int i = 0; i < count; ++i)
        bytes[i] = char(level(i));
    return bytes;
}

Seeds faceSeeds()
{
    const int pixels = kFaceWidth * kFaceHeight;
    const QByteArray gradient = pattern(pixels * 4, [](int i) { return 40 + (i * 7) % 180; });
    const QByteArray flat = QByteArray(pixels * 4, char(120));
    const QByteArray light = QByteArray(pixels * 4, char(250));
    QByteArray offSize = encodeFaceInput(1, 0, false, 0, gradient);
    offSize[0] = char(offSize[0] | 0x20);
    offSize[1] = char(0x02); // one pixel wider
    return {
        {"grey-gradient", encodeFaceInput(1, 2, false, 255, gradient)},
        {"colour-gradient-trimmed", encodeFaceInput(3, 0, true, 210, gradient)},
        {"four-channels", encodeFaceInput(4, 1, true, 128, gradient)},
        {"rgb888", encodeFaceInput(3, 3, false, 255, gradient)},
        {"flat", encodeFaceInput(1, 0, false, 255, flat)},
        {"black", encodeFaceInput(1, 0, true, 210, QByteArray())},
        {"light-trimmed", encodeFaceInput(2, 0, true, 210, light)},
        {"negative-threshold", encodeFaceInput(1, 2, true, -5, gradient)},
        {"wrong-size", offSize},
    };
}
// A manifest entry; like the shipped weights, the 64-channel filters are float32 and the rest
// uint8-quantised.
QJsonObject manifestEntry(const TensorLayout& layout)
{
    QJsonArray shape;
    for (int size : layout.shape)
        shape.append(size);
    QJsonObject entry{{"name", QString::fromStdString(layout.name)}, {"shape", shape}, {"dtype", "float32"}};
    if (layout.shape.size() != 4 || layout.shape[3] != 64)
        entry["quantization"] = QJsonObject{{"dtype", "uint8"}, {"scale", 0.0005}, {"min", -0.07}};
    return entry;
}

QByteArray manifestBytes(const QJsonArray& entries)
{
    const QJsonObject group{{"paths", QJsonArray{"face_recognition_model.bin"}}, {"weights", entries}};
    return QJsonDocument(QJsonArray{group}).toJson(QJsonDocument::Compact);
}

Seeds manifestSeeds()
{
    QJsonArray entries;
    for (const TensorLayout& layout : resnetTensors())
        entries.append(manifestEntry(layout));
    const QByteArray valid = manifestBytes(entries);
    QJsonArray wrongShape = entries, swapped = entries, shorter = entries, longer = entries, badScale = entries;
    QJsonObject first = entries.first().toObject();
    QJsonArray shape = first["shape"].toArray();
    shape.replace(3, shape.at(3).toInt() + 1);
    first["shape"] = shape;
    wrongShape.replace(0, first);
    swapped.replace(0, entries.at(1));
    swapped.replace(1, entries.at(0));
    shorter.removeLast();
    longer.append(entries.last());
    first = entries.first().toObject();
    first["quantization"] = QJsonObject{{"dtype", "uint16"}, {"scale", 1e308}, {"min", "-0"}};
    badScale.replace(0, first);
    return {
        {"valid", valid},
        {"wrong-shape", manifestBytes(wrongShape)},
        {"swapped", manifestBytes(swapped)},
        {"missing-last", manifestBytes(shorter)},
        {"extra-tensor", manifestBytes(longer)},
        {"bad-quantisation", manifestBytes(badScale)},
        {"cut", valid.left(valid.size() / 2)},
        {"two-groups", "[{\"weights\":[]},{\"weights\":[]}]"},
        {"empty", QByteArray()},
    };
}

// The liveness model file as the trainer writes it.
QByteArray livenessBytes(const LivenessModel& model, const QString& scratch)
{
    const QString path = QDir(scratch).filePath(LivenessModel::kFileName);
    model.write(path);
    const QByteArray bytes = readBack(path);
    QFile::remove(path);
    return bytes;
}

// A three-feature liveness model and damaged copies of it.
Seeds livenessSeeds(const QString& scratch)
{
    const LivenessModel model{"colour-lbp-1", {0.5f, -1.0f, 2.0f}, {2.0f, 0.25f, 1.0f / 3},
                              {1.5f, -4.0f, 0.1f}, 0.2f, -0.75f};
    const QByteArray valid = livenessBytes(model, scratch);
    LivenessModel zeroScale = model, shortMean = model, infiniteBias = model;
    zeroScale.scale[1] = 0.0f;
    shortMean.mean.pop_back();
    infiniteBias.bias = -std::numeric_limits<float>::infinity();
    return {
        {"valid", valid},
        {"zero-scale", livenessBytes(zeroScale, scratch)},
        {"short-mean", livenessBytes(shortMean, scratch)},
        {"infinite-bias", livenessBytes(infiniteBias, scratch)},
        {"cut", valid.left(valid.size() / 2)},
    };
}
// A group folder's manifest, a NUL byte and its embeddings file, as the group writer makes them.
QByteArray groupBytes(const EnrolmentGroup& group, const QString& scratch)
{
    const QString folder = QDir(scratch).filePath("group");
    QDir(folder).removeRecursively();
    if (!QDir().mkpath(folder))
        throw std::runtime_error("cannot make " + folder.toStdString());
    writeGroupFolder(folder, group);
    QByteArray bytes = readBack(QDir(folder).filePath(GroupManifest::kFileName)) + '\0';
    if (group.hasChips())
        bytes += readBack(QDir(folder).filePath(GroupManifest::kEmbeddingsFileName));
    QDir(folder).removeRecursively();
    return bytes;
}

// Groups of two samples, with and without chips, and damaged copies.
Seeds groupSeeds(const QString& scratch)
{
    EnrolmentGroup group(std::vector<cv::Mat>(2, cv::Mat(kSampleSize, CV_8UC1, cv::Scalar(90))));
    const QByteArray samplesOnly = groupBytes(group, scratch);
    group.chips.assign(2, cv::Mat(8, 8, CV_8UC3, cv::Scalar(1, 2, 3)));
    group.embeddings.assign(2, std::vector<float>(FaceResnet::kEmbeddingSize, 0.25f));
    group.embeddings[1][7] = -1.5f;
    group.embeddingModel = QString(64, 'a');
    group.chipAligner = kChipAligner;
    const QByteArray valid = groupBytes(group, scratch);
    QByteArray longer = valid;
    longer.replace(" 128\n", " 129\n");
    longer += QByteArray(2 * sizeof(float), '\0');
    QByteArray notFinite = valid;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    notFinite.replace(notFinite.size() - int(sizeof nan), int(sizeof nan), reinterpret_cast<const char*>(&nan),
                      int(sizeof nan));
    return {
        {"samples-only", samplesOnly},
        {"valid", valid},
        {"longer-embeddings", longer},
        {"not-finite", notFinite},
        {"cut", valid.left(valid.size() - 5)},
        {"no-embeddings", valid.left(valid.indexOf('\0'))},
        {"empty", QByteArray()},
    };
}

// The records a sealed profile arrives in: one group (the valid seed's), left-out groups and a
// refusal, and damaged streams.
Seeds sealSeeds(const QByteArray& validGroup)
{
    const int split = validGroup.indexOf('\0');
    const QByteArray settings = encodeRecord({SealRecord::File, "features.txt", "resnet\n"}) +
                                encodeRecord({SealRecord::File, "liveness.txt", "on\n"});
    const QByteArray group = encodeRecord({SealRecord::File, "group-1/manifest.txt", validGroup.left(split)}) +
                             encodeRecord({SealRecord::File, "group-1/embeddings.bin", validGroup.mid(split + 1)});
    const QByteArray leftOut = encodeRecord({SealRecord::LeftOut, "group-2", "embedded by other network weights"});
    const QByteArray valid = leftOut + settings + group;
    return {
        {"valid", valid},
        {"no-liveness", encodeRecord({SealRecord::File, "features.txt", "resnet\n"}) + group},
        {"refused", encodeRecord({SealRecord::Refusal, {}, "no owner profile"})},
        {"grbm", encodeRecord({SealRecord::File, "features.txt", "grbm\n"}) + group},
        {"group-only", group},
        {"cut", valid.left(valid.size() - 7)},
    };
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::fprintf(stderr, "usage: make-fuzz-seeds DIR\n");
        return argc == 2 ? 0 : 2;
    }
    try {
        const QDir root(QString::fromLocal8Bit(argv[1]));
        if (!root.mkpath("."))
            throw std::runtime_error("cannot make the seed folder");
        writeSeeds(root.filePath("fuzz-model-file"), modelSeeds(root.path()));
        QFile::remove(root.filePath("seed.grbm"));
        writeSeeds(root.filePath("fuzz-coords"), coordsSeeds());
        writeSeeds(root.filePath("fuzz-face-vector"), faceSeeds());
        writeSeeds(root.filePath("fuzz-resnet-manifest"), manifestSeeds());
        writeSeeds(root.filePath("fuzz-liveness-model"), livenessSeeds(root.path()));
        const Seeds groups = groupSeeds(root.path());
        writeSeeds(root.filePath("fuzz-group-files"), groups);
        // The profile reader takes the same split input.
        writeSeeds(root.filePath("fuzz-profile-reader"), groups);
        writeSeeds(root.filePath("fuzz-seal-records"), sealSeeds(groups[1].second));
        writeSeed(root.filePath("fuzz-coords.dict"), coordsDictionary());
        std::printf("seeds written to %s\n", qPrintable(root.path()));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make-fuzz-seeds: %s\n", error.what());
        return 1;
    } catch (const e_default& error) {
        std::fprintf(stderr, "make-fuzz-seeds: %s\n", error.message().c_str());
        return 1;
    }
}
