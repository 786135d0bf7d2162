#pragma once

#include "EvalOptions.h"
#include "FacedataIndex.h"

#include <string>
#include <vector>

// What an evaluation axis run reads and where its table goes.
struct EvalAxisSettings
{
    std::string facedata;          // the shared face data folder
    std::string model;             // the model file the matcher reads (named in the output)
    EvalOptions options;           // seed and group size; the protocol of the photograph set
    std::vector<FacePhoto> photos; // the photograph set of the light axis, grouped by person
    std::string split;             // its name
    double relight = 0.0;          // the light axis's strength (see PhotoRelight)
    int threads = 2;
    std::string outDir;
    // Of visagio, raw, lbph, tantriggs (LBPH after Tan-Triggs); empty: all four.
    std::vector<std::string> methods;
};

// The axes that measure the owner under another day and another light, each over the
// program's matcher (replayed through the lock), the raw face vectors and OpenCV LBPH, plain
// and after Tan-Triggs light normalisation, on the same samples.
namespace EvalAxisRuns {

// The session axis on nuaa_webcam: eval-session-axis.md.
// Requires: the working directory holds the matcher's files.
// Throws:   what reading the sessions, the matcher and the file writing throw.
void sessionAxis(const EvalAxisSettings& settings);

// The light axis: the photograph set with its trials relit (enrolment unchanged) beside the
// same trials as taken, and the held-out half of yaleB_cropped_48x42: eval-light-axis.md.
// Requires: as sessionAxis; settings.relight in (0, 1).
void lightAxis(const EvalAxisSettings& settings);

} // namespace EvalAxisRuns
