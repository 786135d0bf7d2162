#pragma once

#include "FaceLight.h"

#include <string>
#include <vector>

// The shared webcam-like clips, all live: the demo owner at a desk and in another room, and two
// strangers (paths under the face data's videos folder).
inline constexpr const char* kLiveVideos[] = {"leszko_sample-files/face.mp4", "leszko_sample-files/me.mp4",
                                              "leszko_sample-files/me-out.mp4",
                                              "1zlab_OpenCV_Face_Detection/face.mp4",
                                              "Fellway_Closed_eyes_detector/media/me.mp4"};

// The faces the liveness check learns from and is measured on: NUAA's printed photographs of
// six people held to an office webcam and the same webcam's live frames of them
// (nuaa_attack/photo, nuaa_attack/live, nuaa_webcam/people), each session read in capture
// order and zoomed as the session axis zooms it, each face found by the window's detector.
struct LivenessFace
{
    std::string person;
    std::string session;
    bool live = false;
    int frame = 0; // index in the session's frames (file-name order)
    FaceLight light;
    std::vector<float> features; // livenessFeatures of the face
};

struct LivenessFaceSet
{
    std::vector<LivenessFace> faces;
    int frames = 0; // frames read, with a face or without

    // Requires: the shared face data folder `facedata` holds nuaa_attack and nuaa_webcam.
    // Ensures:  every face found, sessions in name order, photo sessions first. With
    //           jpegQuality in 1..100 each frame is first encoded to JPEG at that quality and
    //           decoded again, as a webcam delivering MJPG compresses it.
    // Throws:   std::runtime_error naming a folder or image that cannot be read.
    static LivenessFaceSet load(const std::string& facedata, int jpegQuality = 0);
    // Live faces from other places, to see whether the check carries over. The Essex studio:
    // every identified photograph framed as a camera frame, its people split by name into two
    // halves, "essex-a" and "essex-b" (sessions: their ids).
    static LivenessFaceSet loadEssex(const std::string& facedata, int jpegQuality = 0);
    // Every frame of the shared webcam-like videos, scaled to 320 x 240 as the camera stand-in
    // scales it (person "video/<file>").
    static LivenessFaceSet loadVideos(const std::string& facedata, int jpegQuality = 0);

    // The faces the shipped check trains on: NUAA's (load) and the Essex studio's (loadEssex).
    static LivenessFaceSet loadTraining(const std::string& facedata, int jpegQuality = 0);

    // Ensures: other's faces and frames added after these.
    void append(const LivenessFaceSet& other);

    // The distinct people, in name order.
    std::vector<std::string> people() const;
};
