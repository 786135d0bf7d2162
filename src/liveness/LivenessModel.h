#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <vector>

// The learnt part of the liveness check: a linear classifier over a face's liveness features,
// kept in a small text file written by tools/liveness-train:
//
//   # comment
//   format = 1
//   features = colour-lbp-2
//   mean = <one number a feature, separated by spaces>
//   scale = <one positive number a feature>
//   weights = <one number a feature>
//   bias = <number>
//   threshold = <number>
//
// Each feature is standardised ((feature - mean) * scale) and weighted; the sum plus the bias is
// the face's margin, and a face is live when its margin reaches the threshold. Nothing has a
// default: a zero weight or scale would pass every face, so a missing or damaged file stops the
// check. "features" names the features the weights were learnt on; the caller compares it with
// the features it computes.
struct LivenessModel
{
    static constexpr const char* kFileName = "liveness.model";
    // Limits of a sound file: more features than this, or more bytes, are damage.
    static constexpr std::size_t kMaxFeatures = 4096;
    static constexpr int kMaxFileSize = 256 * 1024;

    QString featureSet;
    std::vector<float> mean;
    std::vector<float> scale;
    std::vector<float> weights;
    float bias = 0.0f;
    float threshold = 0.0f;

    // Ensures: the model in `bytes`; mean, scale and weights of one size in [1, kMaxFeatures],
    //          every value finite, every scale positive, featureSet not empty.
    // Throws:  e_logic_argument("<name>: <what is wrong>") for input larger than kMaxFileSize,
    //          another format, a missing key or empty value, a value that is not a finite
    //          number, a scale that is not positive, or lists of different or unsound lengths.
    static LivenessModel parse(const QByteArray& bytes, const QString& name);

    // Ensures: parse of the file's bytes, named by `path`.
    // Throws:  e_failure_open("<path>: cannot be read (<reason>)") when the file cannot be
    //          opened; otherwise as parse.
    static LivenessModel read(const QString& path);

    // Requires: a model that parse accepts (else read rejects the file written).
    // Ensures:  the file is written completely under a temporary name, then renamed into place;
    //           values carry 9 significant digits, so read gives back exactly these floats.
    // Throws:   std::runtime_error naming the file when it cannot be written.
    void write(const QString& path) const;

    // Ensures: bias + sum of weights[i] * (features[i] - mean[i]) * scale[i], summed in double.
    // Throws:  std::logic_error("liveness features do not fit the model") when features, mean,
    //          scale and weights differ in size.
    float margin(const std::vector<float>& features) const;

    // Ensures: whether a face of this margin is live: its margin is at least the threshold.
    bool isLive(float margin) const { return margin >= threshold; }
};
