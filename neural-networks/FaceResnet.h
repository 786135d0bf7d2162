#pragma once

#include <QString>
#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

#include <vector>

// The 128-value face embedding network (dlib's ResNet, as ported to TensorFlow.js weights),
// built as an OpenCV dnn net from its manifest and weights and run on one thread. Its input
// is a 150 x 150 face chip (FaceChip.h); faces of one person lie close together in the
// embedding space, those of different people further apart.
//
// Files in `folder`: "face_recognition_model-weights_manifest.json" and
// "face_recognition_model.bin".
class FaceResnet
{
public:
    static constexpr int kChipSize = 150;
    static constexpr int kEmbeddingSize = 128;

    // Ensures: the net is built and ready; sha256() is the weights file's digest.
    // Throws:  the errors of readWeights() (TfjsWeights.h), each naming the file and the fault.
    explicit FaceResnet(const QString& folder);

    FaceResnet(const FaceResnet&) = delete;
    FaceResnet& operator=(const FaceResnet&) = delete;

    // Requires: chip is CV_8UC3 BGR, kChipSize x kChipSize.
    // Ensures:  the embedding of the chip (kEmbeddingSize values).
    // Throws:   std::logic_error("incorrect chip size") otherwise.
    std::vector<float> embed(const cv::Mat& chip);
    // Same for a CV_32FC3 RGB chip on the 0-255 scale (before the mean is subtracted).
    std::vector<float> embedRgb(const cv::Mat& rgb);

    // The SHA-256 of the weights file, in lower-case hex: the key of stored embeddings.
    const QString& sha256() const;

    // Ensures: the SHA-256 of the weights file in `folder` as sha256() gives it, without
    //          building the net (a seal keys embeddings before, or instead of, loading it).
    // Throws:  e_failure_open naming the file when it cannot be read.
    static QString weightsSha256(const QString& folder);

private:
    cv::dnn::Net net;
    QString digest;
};
