#pragma once

#include "SampleCutter.h"

#include <opencv2/core.hpp>

#include <vector>

// A recorded webcam session whose faces are mostly below the detector's 90 px minimum is
// zoomed about the frame centre, as a user sitting nearer would appear: the smallest zoom of
// a fixed ladder (1 to 2) at which the detector finds a face in at least half of the frames,
// or the zoom that finds the most faces when none does.
struct SessionZoom
{
    double zoom = 1.0;
    int facesAsRecorded = 0; // frames with a face found at zoom 1
    int faces = 0;           // frames with a face found at `zoom`
    std::vector<cv::Mat> samples; // one a frame at `zoom`: the window's sample, or empty
    std::vector<cv::Rect> faceBoxes; // one a frame at `zoom`: the face box (zero without a face)

    // Requires: frames are 320 x 240 colour images.
    static SessionZoom choose(const std::vector<cv::Mat>& frames, SampleCutter& cutter);

    // Requires: zoom >= 1.
    // Ensures:  the centre 1/zoom of the frame scaled back to the frame's size.
    static cv::Mat zoomed(const cv::Mat& frame, double zoom);
};
