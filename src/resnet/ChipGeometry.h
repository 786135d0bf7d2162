#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <vector>

// Where a face-resnet chip (150 x 150) puts a face, and the transform that puts it there.

// Where dlib's 150-px face chips (padding 0.25) put the eye centres: the framing the
// face-resnet was trained on.
inline const cv::Point2f kChipLeftEye(47.5f, 46.6f);
inline const cv::Point2f kChipRightEye(100.5f, 46.6f);
// Where the chip puts the mouth's centre (the mean of the outer lip's 12 landmarks): midway
// between the eyes across (a face is symmetric, and an enrolment chip's mirror image must be
// cut alike), and down at the median of the calibration faces' mouths when their landmark eye
// centres are put on the two points above (106.5 px; across, 74.8: tools/chip-fit, 2,000 faces).
inline const cv::Point2f kChipMouth(74.0f, 106.5f);

// The name a saved group records for chips cut by this program's aligner (the face landmarks).
// Groups saved before it record none: their chips were cut by a Haar eye search, and a face
// verified on landmark chips against them lets more strangers through.
inline constexpr const char* kChipAligner = "landmarks";

// Requires: from and to of equal length, at least two points, not all of `from` in one place.
// Ensures:  the rotation, uniform scale and shift that map `from` onto `to` with the least sum
//           of squared distances (exactly, for two points).
inline cv::Matx23d similarityTransform(const std::vector<cv::Point2d>& from, const std::vector<cv::Point2d>& to)
{
    cv::Point2d fromMean, toMean;
    for (std::size_t i = 0; i < from.size(); ++i) {
        fromMean += from[i];
        toMean += to[i];
    }
    fromMean /= double(from.size());
    toMean /= double(from.size());
    // (a + ib) = the least-squares ratio of the centred points as complex numbers.
    double dot = 0, cross = 0, norm2 = 0;
    for (std::size_t i = 0; i < from.size(); ++i) {
        const cv::Point2d f = from[i] - fromMean, t = to[i] - toMean;
        dot += f.x * t.x + f.y * t.y;
        cross += f.x * t.y - f.y * t.x;
        norm2 += f.dot(f);
    }
    const double a = dot / norm2, b = cross / norm2;
    return cv::Matx23d(a, -b, toMean.x - (a * fromMean.x - b * fromMean.y),
                       b, a, toMean.y - (b * fromMean.x + a * fromMean.y));
}
