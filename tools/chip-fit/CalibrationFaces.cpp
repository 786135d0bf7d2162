#include "CalibrationFaces.h"

#include "FaceDetector.h"
#include "ProgressBar.h"

#include <opencv2/imgcodecs.hpp>

#include <stdexcept>

namespace {
// The calibration people of lfw_min10 (the rest, K-Z, are the evaluation split).
constexpr char kFirstCalibrationName = 'A';
constexpr char kLastCalibrationName = 'J';
} // namespace

cv::Mat readPhoto(const FacePhoto& photo)
{
    cv::Mat image = cv::imread(photo.path, cv::IMREAD_COLOR);
    if (image.empty())
        throw std::runtime_error("cannot read " + photo.path);
    return image;
}

std::vector<BoxedFace> calibrationFaces(const FacedataIndex& index, const std::string& faceCascade, int& missed)
{
    std::vector<BoxedFace> all;
    for (const FacePhoto& photo : index.essexPeople())
        all.push_back({photo, "essex", {}});
    for (const FacePhoto& photo : index.lfwPeople("lfw_min10", kFirstCalibrationName, kLastCalibrationName))
        all.push_back({photo, "lfw", {}});
    FaceDetector detector(faceCascade, std::string());
    std::vector<BoxedFace> faces;
    ProgressBar progress("face boxes", long(all.size()));
    for (std::size_t i = 0; i < all.size(); ++i) {
        detector.processFrame(readPhoto(all[i].photo));
        if (detector.found()) {
            faces.push_back(all[i]);
            faces.back().box = detector.faceRect();
        }
        progress.update(long(i + 1));
    }
    progress.finish();
    missed = int(all.size() - faces.size());
    return faces;
}
