#include "MadeUpProfile.h"

#include "FaceGeometry.h"
#include "FaceResnet.h"
#include "GroupFolder.h"
#include "PrivateFiles.h"

#include <QFile>

namespace {
constexpr int kSamples = 4;
constexpr int kChipSide = 16;
}  // namespace

EnrolmentGroup madeUpGroup(const QString& key, int seed, const QString& aligner)
{
    EnrolmentGroup group(std::vector<cv::Mat>(kSamples, cv::Mat(kSampleSize, CV_8UC1, cv::Scalar(120))));
    if (key.isEmpty())
        return group;
    cv::RNG random(seed);
    for (int i = 0; i < kSamples; ++i) {
        group.chips.push_back(cv::Mat(kChipSide, kChipSide, CV_8UC3, cv::Scalar(10, 20, 30)));
        std::vector<float> embedding(FaceResnet::kEmbeddingSize);
        random.fill(embedding, cv::RNG::UNIFORM, -0.2, 0.2);
        group.embeddings.push_back(embedding);
    }
    group.embeddingModel = key;
    group.chipAligner = aligner;
    return group;
}

bool writePrivateFile(const QString& path, const QByteArray& bytes)
{
    QFile file;
    return openPrivateFile(file, path) && file.write(bytes) == bytes.size();
}

bool writeMadeUpProfile(const QString& dir, const QStringList& keys, const QString& aligner)
{
    if (!makePrivateFolder(dir) || !writePrivateFile(dir + "/features.txt", "resnet\n") ||
        !writePrivateFile(dir + "/liveness.txt", "on\n"))
        return false;
    for (int n = 1; n <= keys.size(); ++n) {
        const QString folder = dir + "/group-" + QString::number(n);
        if (!makePrivateFolder(folder))
            return false;
        writeGroupFolder(folder, madeUpGroup(keys[n - 1], n, aligner));
    }
    return true;
}
