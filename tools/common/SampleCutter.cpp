#include "SampleCutter.h"

#include "FaceGeometry.h"
#include "FaceSample.h"
#include "ProgressBar.h"

#include <filesystem>
#include <stdexcept>

namespace {
constexpr const char* kRunFaceCascade = "haarcascades/haarcascade.xml";
constexpr const char* kRunEyeCascade = "haarcascades/haarcascade_eye_tree_eyeglasses.xml";
constexpr const char* kDebianCascades = "/usr/share/opencv4/haarcascades/";
constexpr const char* kDebianFaceCascade = "haarcascade_frontalface_alt2.xml";
constexpr const char* kDebianEyeCascade = "haarcascade_eye_tree_eyeglasses.xml";
constexpr const char* kRunChipEyeCascade = "haarcascades/haarcascade_eye.xml";
constexpr const char* kDebianChipEyeCascade = "haarcascade_eye.xml";
// Eye distances (frame pixels) tried for landmarked photos: the face then spans about
// 2.2 eye distances, well above the detector's 90 px minimum.
constexpr double kEyeDistances[] = {46.0, 40.0, 54.0};
// Photo heights (in frame heights) tried for photos without landmarks.
constexpr double kHeightFills[] = {1.0, 1.2, 0.85, 1.4};

std::string preferExisting(const char* local, const std::string& fallback)
{
    return std::filesystem::exists(local) ? std::string(local) : fallback;
}
} // namespace

std::string SampleCutter::defaultFaceCascade()
{
    return preferExisting(kRunFaceCascade, std::string(kDebianCascades) + kDebianFaceCascade);
}

std::string SampleCutter::defaultEyeCascade()
{
    return preferExisting(kRunEyeCascade, std::string(kDebianCascades) + kDebianEyeCascade);
}

std::string SampleCutter::defaultChipEyeCascade()
{
    return preferExisting(kRunChipEyeCascade, std::string(kDebianCascades) + kDebianChipEyeCascade);
}

SampleCutter::SampleCutter(const std::string& faceCascade, const std::string& eyeCascade)
    : detector(faceCascade, eyeCascade)
{
    cv::CascadeClassifier probe;
    if (!probe.load(faceCascade))
        throw std::runtime_error("cannot load face cascade: " + faceCascade);
}

cv::Mat SampleCutter::cutFrame(const cv::Mat& frame)
{
    detector.processFrame(frame);
    if (!detector.found())
        return cv::Mat();
    const cv::Mat face = detector.copyImage(0);
    cv::Mat sample(kSampleHeight, kSampleWidth, CV_8UC1);
    makeSample(face, sample);
    return sample;
}

bool SampleCutter::findPlacement(const FacePhoto& photo, const cv::Mat& image, FramePlacement& placement)
{
    std::vector<FramePlacement> candidates;
    if (photo.landmarks.size() >= 2)
        for (double distance : kEyeDistances)
            candidates.push_back(PhotoFramer::fromEyes(photo.landmarks, distance));
    else
        for (double fill : kHeightFills)
            candidates.push_back(PhotoFramer::fitHeight(image, fill));
    for (const auto& candidate : candidates) {
        if (!cutFrame(PhotoFramer::compose(image, candidate)).empty()) {
            placement = candidate;
            return true;
        }
    }
    return false;
}

SampleSet SampleCutter::cutPhotos(const std::vector<FacePhoto>& photos, int copies, unsigned seed,
                                  const std::string& label, int& missed)
{
    SampleSet set;
    missed = 0;
    ProgressBar progress(label, static_cast<long>(photos.size()));
    for (size_t k = 0; k < photos.size(); ++k) {
        const cv::Mat image = PhotoFramer::load(photos[k].path);
        FramePlacement placement;
        if (!findPlacement(photos[k], image, placement)) {
            ++missed;
            progress.update(static_cast<long>(k + 1));
            continue;
        }
        std::mt19937 random(seed * 1000003u + static_cast<unsigned>(k));
        set.add(cutFrame(PhotoFramer::compose(image, placement)), photos[k].person, static_cast<int>(k));
        for (int c = 0; c < copies; ++c) {
            const cv::Mat sample = cutFrame(PhotoFramer::compose(image, PhotoFramer::jittered(placement, random)));
            if (!sample.empty())
                set.add(sample, photos[k].person, static_cast<int>(k));
        }
        progress.update(static_cast<long>(k + 1));
    }
    progress.finish();
    return set;
}

std::vector<cv::Mat> SampleCutter::cutFrames(const std::vector<cv::Mat>& frames)
{
    std::vector<cv::Mat> samples;
    for (const auto& frame : frames)
        samples.push_back(cutFrame(frame));
    return samples;
}
