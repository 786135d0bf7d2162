#pragma once

#include <QString>

// The constants that make the face-resnet's embedding distances a lock score, kept in a small
// text file beside the network's files:
//
//   # comment
//   format = 1
//   model_sha256 = <the SHA-256 of the weights these constants were fitted for>
//   distance = cosine | euclidean
//   distance_scale = 1740
//
// A face scores 90 / (distance_scale * d + 30) for its distance d to the nearest template
// embedding. Unlike the GRBM model's calibration nothing here has a default: a scale of 1
// would let every face open the lock, so a missing or damaged file stops the program.
struct ResnetCalibration
{
    enum class Distance { Cosine, Euclidean };

    static constexpr const char* kFileName = "face_recognition_model.calibration";

    QString modelSha256;
    Distance distance = Distance::Cosine;
    float scale = 0.0f;

    // Ensures: the calibration in `path`, every key present and sound.
    // Throws:  e_failure_open("<path>: cannot be read") for a file that cannot be opened;
    //          e_logic_argument("<path>: <what is wrong>") for another format, a missing key,
    //          an unknown distance or a scale that is not a positive finite number.
    static ResnetCalibration read(const QString& path);

    // Throws: std::runtime_error naming the file when it cannot be written.
    void write(const QString& path) const;
};
