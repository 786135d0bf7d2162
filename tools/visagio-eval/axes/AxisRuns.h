#pragma once

#include "FacedataIndex.h"
#include "Options.h"

#include <string>
#include <vector>

namespace eval {

// What an evaluation axis run reads and where its table goes.
struct AxisSettings
{
    std::string facedata;          // the shared face data folder
    std::string model;             // the model file the matcher reads (named in the output)
    Options options;           // seed and group size; the protocol of the photograph set
    std::vector<FacePhoto> photos; // the photograph set of the light axis, grouped by person
    std::string split;             // its name
    double relight = 0.0;          // the light axis's strength (see PhotoRelight)
    int threads = 2;
    std::string outDir;
    // Of visagio, resnet, raw, lbph, tantriggs (LBPH after Tan-Triggs), and on the session axis
    // resnet-live (the face-resnet behind the liveness check); empty: all of the axis's.
    std::vector<std::string> methods;
};

// The axes that measure the owner under another day and another light, each over the
// program's matcher (replayed through the lock), the raw face vectors and OpenCV LBPH, plain
// and after Tan-Triggs light normalisation, on the same samples.
namespace AxisRuns {

// The session axis on nuaa_webcam, with the session people's printed photographs of
// nuaa_attack played against their enrolments: eval-session-axis.md.
// Requires: the working directory holds the matcher's files.
// Throws:   what reading the sessions, the matcher and the file writing throw.
void sessionAxis(const AxisSettings& settings);

// The light axis: the photograph set with its trials relit (enrolment unchanged) beside the
// same trials as taken, and the held-out half of yaleB_cropped_48x42: eval-light-axis.md.
// Requires: as sessionAxis; settings.relight in (0, 1).
void lightAxis(const AxisSettings& settings);

} // namespace AxisRuns

} // namespace eval
