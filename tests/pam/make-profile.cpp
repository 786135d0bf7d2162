// visagio-make-profile DIR KEY [KEY ...]: writes at DIR (which must not exist) a profile the
// check takes: the face-resnet with the liveness check on and, for the N-th KEY, group-N of a
// few samples with landmark-cut chips and random embeddings keyed by KEY (the SHA-256 of the
// network weights). The seal tests make their owner's profile with it, as that owner.
#include "ChipGeometry.h"
#include "EnrolmentGroup.h"
#include "Errors.h"
#include "FaceGeometry.h"
#include "FaceResnet.h"
#include "GroupFolder.h"
#include "PrivateFiles.h"

#include <cstdio>

namespace {
constexpr int kSamples = 4;
constexpr int kChipSide = 16;

bool writePrivate(const QString& path, const QByteArray& bytes)
{
    QFile file;
    return openPrivateFile(file, path) && file.write(bytes) == bytes.size();
}

bool writeGroup(const QString& folder, const QString& key, int seed)
{
    if (!makePrivateFolder(folder))
        return false;
    EnrolmentGroup group(std::vector<cv::Mat>(kSamples, cv::Mat(kSampleSize, CV_8UC1, cv::Scalar(120))));
    cv::RNG random(seed);
    for (int i = 0; i < kSamples; ++i) {
        group.chips.push_back(cv::Mat(kChipSide, kChipSide, CV_8UC3, cv::Scalar(10, 20, 30)));
        std::vector<float> embedding(FaceResnet::kEmbeddingSize);
        random.fill(embedding, cv::RNG::UNIFORM, -0.2, 0.2);
        group.embeddings.push_back(embedding);
    }
    group.embeddingModel = key;
    group.chipAligner = kChipAligner;
    writeGroupFolder(folder, group);
    return true;
}
}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: visagio-make-profile DIR KEY [KEY ...]\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    try {
        bool written = makePrivateFolder(dir) && writePrivate(dir + "/features.txt", "resnet\n") &&
                       writePrivate(dir + "/liveness.txt", "on\n");
        for (int i = 2; written && i < argc; ++i)
            written = writeGroup(dir + "/group-" + QString::number(i - 1), QString::fromLatin1(argv[i]), i);
        if (!written)
            std::perror(argv[1]);
        return written ? 0 : 1;
    } catch (const e_default& error) {
        std::fprintf(stderr, "%s\n", error.message().c_str());
        return 1;
    }
}
