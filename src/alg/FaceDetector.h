#pragma once

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

#include <string>

// Finds the one face the rest of the system works with in a frame: the largest frontal face
// of at least 90 x 90 pixels found by the Haar cascade, with a colour copy of its region.
class FaceDetector
{
public:
    // Loads "./haarcascades/haarcascade.xml" and "./haarcascades/haarcascade_eye_tree_eyeglasses.xml".
    // A cascade that cannot be loaded stays empty; construction never fails.
    FaceDetector();
    // Same, with explicit cascade paths (tools that do not run in the run directory).
    FaceDetector(const std::string& faceCascadePath, const std::string& eyeCascadePath);

    FaceDetector(const FaceDetector&) = delete;
    FaceDetector& operator=(const FaceDetector&) = delete;

    // Requires: frame is 8-bit BGR (CV_8UC3).
    // Ensures:  found(), faceRect() and copyImage() describe this frame.
    // Throws:   std::logic_error("Haar cascade for face is not loaded") when the face cascade is missing.
    void processFrame(const cv::Mat& frame);

    bool found() const;
    // The chosen face rectangle in frame pixels; all zero when no face was found.
    cv::Rect faceRect() const;
    // which == 0: a new colour copy of the face region (owned by the caller); otherwise, or
    // when no face was found, an empty Mat.
    cv::Mat copyImage(int which) const;

private:
    void releaseImages();
    void detectFace();
    void cropFace();

    cv::Rect rect;
    cv::CascadeClassifier faceCascade;
    cv::CascadeClassifier eyeCascade;
    cv::Mat colourImage;
    cv::Mat greyImage;
    cv::Mat faceImage;
    bool faceFound = false;
};
