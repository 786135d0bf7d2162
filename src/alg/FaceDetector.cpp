#include "FaceDetector.h"

#include "RunFolder.h"

#include <QDebug>
#include <opencv2/imgproc.hpp>

#include <stdexcept>
#include <vector>

namespace {
const char* const kNoFaceCascade = "Haar cascade for face is not loaded";

// Fixed detection parameters: pyramid step 1.2, three neighbours to accept a face, Canny
// pruning of flat regions (ignored by OpenCV 4 for new-format cascades, kept for the old
// ones), faces of at least 90 x 90 pixels, no upper limit.
constexpr double kScaleFactor = 1.2;
constexpr int kMinNeighbours = 3;
constexpr int kDetectionFlags = cv::CASCADE_DO_CANNY_PRUNING;
constexpr int kMinFaceSide = 90;

// Leaves the classifier empty when the file is missing or unreadable.
void loadCascade(cv::CascadeClassifier& cascade, const std::string& path)
{
    try {
        if (!cascade.load(path))
            qDebug() << "cascade not loaded:" << QString::fromStdString(path);
    } catch (const cv::Exception& error) {
        qDebug() << "cascade not loaded:" << QString::fromStdString(path) << error.what();
        cascade = cv::CascadeClassifier();
    }
}

// The rectangle of largest area; among equal largest areas the earliest. All zero when the
// list is empty.
cv::Rect largestFace(const std::vector<cv::Rect>& faces)
{
    int bestArea = 0;
    int bestIndex = -1;
    for (int i = 0; i < int(faces.size()); ++i) {
        if (faces[i].area() > bestArea) {
            bestArea = faces[i].area();
            bestIndex = i;
        }
    }
    return bestIndex < 0 ? cv::Rect() : faces[bestIndex];
}
} // namespace

FaceDetector::FaceDetector()
    : FaceDetector(kFaceCascadePath, kEyeCascadePath)
{
}

FaceDetector::FaceDetector(const std::string& faceCascadePath, const std::string& eyeCascadePath)
{
    loadCascade(faceCascade, faceCascadePath);
    loadCascade(eyeCascade, eyeCascadePath);
}

void FaceDetector::processFrame(const cv::Mat& frame)
{
    releaseImages();
    colourImage = frame.clone();
    cv::cvtColor(colourImage, greyImage, cv::COLOR_BGR2GRAY);
    detectFace();
    if (faceFound)
        cropFace();
}

bool FaceDetector::found() const
{
    return faceFound;
}

cv::Rect FaceDetector::faceRect() const
{
    return rect;
}

cv::Mat FaceDetector::copyImage(int which) const
{
    if (which != 0 || faceImage.empty())
        return cv::Mat();
    return faceImage.clone();
}

void FaceDetector::releaseImages()
{
    colourImage.release();
    greyImage.release();
    faceImage.release();
    rect = cv::Rect();
}

void FaceDetector::detectFace()
{
    if (faceCascade.empty())
        throw std::logic_error(kNoFaceCascade);
    // Detection results live in this vector only, so nothing accumulates between frames.
    std::vector<cv::Rect> faces;
    faceCascade.detectMultiScale(greyImage, faces, kScaleFactor, kMinNeighbours, kDetectionFlags,
                                 cv::Size(kMinFaceSide, kMinFaceSide), cv::Size());
    rect = largestFace(faces);
    faceFound = rect.width != 0 && rect.height != 0;
}

void FaceDetector::cropFace()
{
    faceImage = colourImage(rect).clone();
}
