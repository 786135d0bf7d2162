#pragma once

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

#include <string>
#include <vector>

// What the eye band of one face shows to Debian's open-eye cascade, to the
// split-eye cascades (which find closed eyes too) and as edge strength.
struct EyeReading
{
    int openEyes = 0;     // haarcascade_eye finds in the band
    int splitEyes = 0;    // left and right 2splits cascades that find an eye there (0 to 2)
    float texture = 0.0f; // the band's mean vertical gradient over the whole face's
};

// The ways an open or closed judgement is drawn from readings (see
// liveness-blink --help).
enum class EyeCue
{
    OpenCascade,
    BothEyes,
    SplitCascade,
    Texture
};
enum class EyeState
{
    Open,
    Closed,
    Unknown
};

// Reads the eye band of faces the lock's detector found, and keeps the time
// each cascade took.
class EyeOpenness
{
public:
    // cascadeFolder: where the eye cascades are (ending in '/').
    // Throws: std::runtime_error("cannot load eye cascade: <path>").
    explicit EyeOpenness(const std::string& cascadeFolder);
    EyeOpenness(const EyeOpenness&) = delete;
    EyeOpenness& operator=(const EyeOpenness&) = delete;

    // Requires: grey is the CV_8UC1 frame and face a box inside it.
    EyeReading read(const cv::Mat& grey, const cv::Rect& face);
    // Mean milliseconds the reading `cue` needs took per face, over every read so
    // far.
    double costMs(EyeCue cue) const;

    // One state a reading of a sequence in capture order; the texture cue
    // compares each face with its neighbours.
    static std::vector<EyeState> states(const std::vector<EyeReading>& readings, EyeCue cue);

private:
    cv::CascadeClassifier openEye, leftSplit, rightSplit;
    double openTicks = 0, splitTicks = 0, textureTicks = 0;
    int reads = 0;
};
