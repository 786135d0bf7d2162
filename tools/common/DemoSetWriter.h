#pragma once

#include "FacedataIndex.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

// Writes the demo and test videos of the camera-less run into one folder:
// - owner-enrol.avi: the owner (the man of the leszko clips) for enrolment, with at least 150
//   face frames;
// - verify/: the stranger videos first ("1-..." to "8-...": two real clips, three Essex frame
//   sequences, three LFW evaluation people), then "9-owner.avi", another part of the owner's
//   recording, so that in the video test the lock stays shut for the strangers and opens for
//   the owner;
// - extra/owner-other-room.avi: the owner recorded elsewhere under side light, for trying
//   how far the features carry (not part of the demo run).
// Every video starts with a few face-free frames.
class DemoSetWriter
{
public:
    struct Video
    {
        std::string path;
        std::string person;
        bool owner = false;
        int frames = 0;
        int faceFrames = 0;  // frames in which the window's detector finds a face
    };

    DemoSetWriter(const FacedataIndex& index, std::string directory, std::string faceCascade,
                  std::string eyeCascade, unsigned seed);

    // Throws: std::runtime_error when a clip or photograph cannot be read or a video written.
    std::vector<Video> write();

    static std::string ownerEnrolName() { return "owner-enrol.avi"; }
    static std::string verifyDir() { return "verify"; }

private:
    Video save(const std::string& relative, const std::string& person, bool owner, std::vector<cv::Mat> frames);

    const FacedataIndex& index;
    std::string root;
    std::string faceCascade;
    std::string eyeCascade;
    unsigned seed;
};
