#pragma once

#include "FacedataIndex.h"
#include "PhotoFramer.h"

#include <opencv2/core.hpp>

#include <random>
#include <string>
#include <vector>

// Makes camera stand-in videos: 320 x 240 frames of one person each, from a real video clip
// (cut and zoomed to the face, as a webcam at arm's length would see it) or from a person's
// photographs shown one after another with small movements, with a few face-free frames.
class DemoVideoMaker
{
public:
    static constexpr double kFps = 25.0;

    // Frames [begin, end) of a video clip (end -1: to its last frame), every `step`-th: one
    // fixed cut around the person's usual face position, zoomed so that the face is about
    // 120 px wide.
    // Throws: std::runtime_error when the clip cannot be read or shows no face.
    static std::vector<cv::Mat> clipFrames(const std::string& clip, int begin = 0, int end = -1, int step = 1);

    // `framesPerPhoto` frames of each photograph, placed as the sample cutter found it and
    // drifting smoothly by small movements. Photographs without a detectable face are left
    // out. `random` drives the movements.
    static std::vector<cv::Mat> photoFrames(const std::vector<FacePhoto>& photos, int framesPerPhoto,
                                            std::mt19937& random, const std::string& faceCascade,
                                            const std::string& eyeCascade);

    // `count` frames that show no face: the given frame washed out to a dim colour gradient.
    static std::vector<cv::Mat> faceFreeFrames(const cv::Mat& like, int count);

    // Writes the frames as an MJPG AVI at 25 frames a second.
    // Throws: std::runtime_error("cannot write video: <path>").
    static void write(const std::string& path, const std::vector<cv::Mat>& frames);

    // Reads every frame of a video (any size).
    // Throws: std::runtime_error("cannot read video: <path>").
    static std::vector<cv::Mat> read(const std::string& path);
};
