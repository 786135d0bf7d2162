#pragma once

#include "CalibrationFaces.h"

#include <string>
#include <vector>

// What FaceChip's eye search finds in the calibration faces: for each face whether an eye pair
// was accepted and where it lies in the face box, and how long one cut() takes.
class EyeFit
{
public:
    // The eye pairs of a set of faces; positions are fractions of the face box (pixel centres
    // from its top-left corner; distance by the box width).
    struct Summary
    {
        int faces = 0;
        int pairs = 0;
        float midX = 0, midY = 0, distance = 0;       // medians over the found pairs
        float spreadX = 0, spreadY = 0, spreadDistance = 0; // their median absolute deviations
    };

    // Runs FaceChip with the eye cascade on every face, on one OpenCV thread.
    // Throws: std::runtime_error("cannot load eye cascade: <path>") when it does not load.
    EyeFit(const std::vector<BoxedFace>& faces, const std::string& eyeCascade);

    // The faces of one set ("essex", "lfw"), or of all sets for an empty name.
    Summary summary(const std::string& set) const;
    // The mean processor time of one cut(), eye search included.
    double cutMilliseconds() const { return cutTime; }

private:
    struct Found
    {
        std::string set;
        bool pair = false;
        float midX = 0, midY = 0, distance = 0;
    };

    std::vector<Found> found;
    double cutTime = 0;
};
