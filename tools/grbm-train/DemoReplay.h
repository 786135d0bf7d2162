#pragma once

#include "LightNormalisation.h"
#include "WindowSimulation.h"

#include <string>
#include <vector>

// Replays a demo folder (see DemoSetWriter) as the window would run it with a model: enrols
// the first 100 face samples of owner-enrol.avi, which stands in for the camera and is
// therefore mirrored like camera frames, then verifies every video of verify/ and extra/
// (video files, not mirrored) separately, each from a closed lock and zero confidence.
class DemoReplay
{
public:
    struct Row
    {
        std::string video;
        WindowSimulation::VideoResult result;
    };

    // Throws: std::runtime_error when a video cannot be read or the enrolment video has fewer
    //         than 100 face frames.
    // cohortVectors and cohortTarget as WindowSimulation takes them; every face sample is
    // normalised as `light` says before it becomes a face vector.
    static std::vector<Row> run(const VerificationBench::FeatureMap& map, const RowMatrix& cohortVectors,
                                std::optional<float> cohortTarget, LightNormalisation light,
                                const std::string& demoDir, const std::string& faceCascade,
                                const std::string& eyeCascade, unsigned seed = 1);
};
