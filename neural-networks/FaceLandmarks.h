#pragma once

#include <QString>
#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

#include <array>
#include <vector>

// The 68-point face landmark network (the TensorFlow.js port's "face_landmark_68_model"), built
// as an OpenCV dnn net from its manifest and weights the way FaceResnet is. It takes a
// 112 x 112 colour face and gives 68 points in the usual order: jaw 0-16, brows 17-26, nose
// 27-35, the eye on the image's left 36-41 and on its right 42-47, mouth 48-67.
//
// Files in `folder`: "face_landmark_68_model-weights_manifest.json" and
// "face_landmark_68_model.bin".
class FaceLandmarks
{
public:
    static constexpr int kInputSize = 112;
    static constexpr int kPointCount = 68;
    using Points = std::array<cv::Point2f, kPointCount>;

    // Ensures: the net is built and ready; sha256() is the weights file's digest.
    // Throws:  the errors of readWeights() (TfjsWeights.h), each naming the file and the fault.
    explicit FaceLandmarks(const QString& folder);

    FaceLandmarks(const FaceLandmarks&) = delete;
    FaceLandmarks& operator=(const FaceLandmarks&) = delete;

    // Requires: rgb is CV_32FC3 RGB, kInputSize x kInputSize, on the 0-255 scale.
    // Ensures:  the net's 2 * kPointCount outputs x0, y0, x1, y1, ... as fractions of the
    //           input's side.
    // Throws:   std::logic_error("incorrect landmark input size") otherwise.
    std::vector<float> rawOutputs(const cv::Mat& rgb);

    // Requires: frame is CV_8UC3 BGR; box is not empty and may reach past the frame's edges.
    // Ensures:  the points in the frame's pixel coordinates. The net sees the box padded with
    //           black to a square, centred (the odd pixel of an odd difference on the right or
    //           at the bottom), black too where the box leaves the frame, scaled to kInputSize.
    // Throws:   std::logic_error("incorrect frame or face box") otherwise.
    Points locate(const cv::Mat& frame, const cv::Rect& box);

    // The SHA-256 of the weights file, in lower-case hex.
    const QString& sha256() const;

private:
    cv::dnn::Net net;
    QString digest;
};
