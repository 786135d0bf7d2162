#pragma once

#include "FaceResnet.h"
#include "ResnetCalibration.h"

#include <QString>
#include <opencv2/core.hpp>

#include <vector>

// The verification engine of the face-resnet model: the owner's groups of chip embeddings,
// the template made of all of them, and the score of a face, 90 / (s d + 30) for its distance
// d to the nearest template embedding (cosine or Euclidean, and s, from the calibration).
// No cohort of other people's faces is needed: the network's distances mean the same for
// every owner.
//
// Files in `folder` (RunFolder.h's kResnetFolder): the network's manifest and weights, and the
// calibration (ResnetCalibration.h), which must name the weights' SHA-256.
class ResnetMatcher
{
public:
    // Throws: the network's errors (FaceResnet.h) and the calibration's, each naming its file;
    //         e_logic_argument("<calibration path>: fitted for another model ...") when the
    //         calibration names other weights.
    explicit ResnetMatcher(const QString& folder);

    ResnetMatcher(const ResnetMatcher&) = delete;
    ResnetMatcher& operator=(const ResnetMatcher&) = delete;

    // Requires: chip as FaceResnet::embed() takes it.
    // Ensures:  its embedding; with `withMirror`, the mean of the chip's and its mirror
    //           image's embeddings (two passes of the network).
    std::vector<float> embed(const cv::Mat& chip, bool withMirror);

    // Ensures: the group's embeddings are appended (the template changes at train()).
    void addGroup(std::vector<std::vector<float>> embeddings);
    // Throws: e_logic_range("Out of range") for an index outside 0 ... groupCount() - 1.
    void removeGroup(int index);
    int groupCount() const;

    // Ensures: the template is every embedding of every group; none with no groups.
    void train();

    // Ensures: the face's distance to the nearest template embedding; the largest float with
    //          an empty template.
    float distance(const std::vector<float>& embedding) const;
    // Ensures: the score 90 / (s d + 30) of the face (its distance logged as "verify d").
    float verify(const std::vector<float>& embedding) const;

    // The SHA-256 of the network's weights: the key of stored embeddings.
    const QString& modelKey() const;
    const ResnetCalibration& calibration() const;

private:
    FaceResnet network;
    ResnetCalibration constants;
    std::vector<std::vector<std::vector<float>>> groups;
    std::vector<std::vector<float>> templateEmbeddings;
};
