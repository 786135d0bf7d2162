#pragma once

#include <QString>
#include <opencv2/core.hpp>

#include <vector>

// One enrolment run as the window collected it: the 35 x 45 grey samples the GRBM feature// model learns from and, when the face-resnet model was active, the 150 x 150 colour chips cut
// from the same frames with their embeddings under the network whose weights have the SHA-256
// `embeddingModel`. A group enrolled for the GRBM model alone has no chips.
struct EnrolmentGroup
{
    EnrolmentGroup() = default;
    // A group of samples only (no chips).
    EnrolmentGroup(std::vector<cv::Mat> samples) : samples(std::move(samples)) {}

    bool hasChips() const { return !chips.empty(); }

    std::vector<cv::Mat> samples;
    std::vector<cv::Mat> chips;
    std::vector<std::vector<float>> embeddings;
    QString embeddingModel;
    // What cut the chips (kChipAligner); empty for groups saved before the landmarks aligned them.
    QString chipAligner;
};
