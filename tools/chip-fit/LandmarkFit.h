#pragma once

#include "CalibrationFaces.h"

#include <QString>

#include <vector>

// What the landmark network finds in the calibration faces: where the mouth lands when the
// landmarks' eye centres are put on the chip's, how far apart the eyes are in the face box,
// how many faces pass FaceChip's sanity check, and the head pose; and how long one cut() takes.
class LandmarkFit
{
public:
    struct Summary
    {
        int faces = 0;
        int plausible = 0;               // faces FaceChip aligned by their landmarks
        float mouthX = 0, mouthY = 0;    // medians over every face, chip pixels
        float spreadX = 0, spreadY = 0;  // their median absolute deviations
        float eyeDistance = 0;           // median, by the box width
        float eyeDistanceLow = 0;        // 0.5 and 99.5 percentiles
        float eyeDistanceHigh = 0;
        float noseShare = 0;             // median share of the eye-to-mouth height above the nose tip
    };

    // Runs the landmark network and FaceChip on every face, on one OpenCV thread.
    // Throws: the network's errors when it does not load.
    LandmarkFit(const std::vector<BoxedFace>& faces, const QString& landmarksFolder);

    Summary summary() const { return result; }
    // The mean processor time of one cut(), the network included.
    double cutMilliseconds() const { return cutTime; }

private:
    Summary result;
    double cutTime = 0;
};
