#include "ForeignBaseWriter.h"

#include "PhotoFramer.h"
#include "ProgressBar.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {
// Light enough for the matcher's background trimming (threshold 210) to take it away.
constexpr int kBackground = 235;
// The window's sample is the centre 35 of 45 columns of the face box, all of its rows.
constexpr double kSampleColumns = 35.0 / 45.0;
constexpr int kPhotoMinFace = 60;
// Padding around a feret photograph, in pixels of the photograph before enlarging: the crop
// from the landmarks reaches a little beyond the 80 x 80 MTFL faces.
constexpr int kFeretPadding = 20;

// A file name unique within the base: folder and file name without its image extension. Yale
// names such as "subject01.happy" have no extension, so every dot is kept as "_" rather than
// cut off, or all photographs of one person would land in one file.
std::string fileStem(const FacePhoto& photo)
{
    const fs::path path(photo.path);
    const std::string extension = path.extension().string();
    const bool imageExtension = extension == ".jpg" || extension == ".png" || extension == ".gif"
                                || extension == ".pgm" || extension == ".jpeg";
    std::string name = imageExtension ? path.stem().string() : path.filename().string();
    std::replace(name.begin(), name.end(), '.', '_');
    return path.parent_path().filename().string() + "_" + name;
}
} // namespace

ForeignBaseWriter::ForeignBaseWriter(std::string directory) : root(std::move(directory))
{
    fs::create_directories(glasgowDir());
    fs::create_directories(feretDir());
}

std::string ForeignBaseWriter::glasgowDir() const
{
    return (fs::path(root) / "foreignfaces" / "all" / "glasgow").string();
}

std::string ForeignBaseWriter::feretDir() const
{
    return (fs::path(root) / "foreignfaces" / "all" / "feret").string();
}

cv::Mat ForeignBaseWriter::glasgowCanvas(const cv::Mat& photo, const cv::Rect& face)
{
    // The sample cut of the face box (its centre columns, all rows) goes onto the fixed crop.
    const double scale = static_cast<double>(kCropHeight) / face.height;
    const double cutLeft = face.x + face.width * (1.0 - kSampleColumns) / 2.0;
    const int cropTop = static_cast<int>(kCanvasHeight * 0.5 - 140);
    cv::Mat transform = (cv::Mat_<double>(2, 3) << scale, 0, kCropLeft - cutLeft * scale,
                         0, scale, cropTop - face.y * scale);
    cv::Mat canvas;
    cv::warpAffine(photo, canvas, transform, cv::Size(kCanvasWidth, kCanvasHeight), cv::INTER_LINEAR,
                   cv::BORDER_CONSTANT, cv::Scalar::all(kBackground));
    return canvas;
}

bool ForeignBaseWriter::detectFace(const cv::Mat& photo, const std::string& faceCascade, cv::Rect& face)
{
    cv::CascadeClassifier cascade(faceCascade);
    if (cascade.empty())
        throw std::runtime_error("cannot load face cascade: " + faceCascade);
    cv::Mat grey;
    cv::cvtColor(photo, grey, cv::COLOR_BGR2GRAY);
    std::vector<cv::Rect> faces;
    cascade.detectMultiScale(grey, faces, 1.1, 3, 0, cv::Size(kPhotoMinFace, kPhotoMinFace));
    if (faces.empty())
        return false;
    face = *std::max_element(faces.begin(), faces.end(),
                             [](const cv::Rect& a, const cv::Rect& b) { return a.area() < b.area(); });
    return true;
}

int ForeignBaseWriter::writeGlasgow(const std::vector<FacePhoto>& photos, const std::string& faceCascade)
{
    int written = 0;
    ProgressBar progress("glasgow faces", static_cast<long>(photos.size()));
    for (size_t k = 0; k < photos.size(); ++k) {
        const cv::Mat photo = PhotoFramer::load(photos[k].path);
        cv::Rect face;
        if (detectFace(photo, faceCascade, face)) {
            // Stored grey: the Yale faces are grey, and a one-channel PNG decodes about three
            // times faster at every start of the program.
            const std::string name = (fs::path(glasgowDir()) / (fileStem(photos[k]) + ".png")).string();
            cv::Mat grey;
            cv::cvtColor(glasgowCanvas(photo, face), grey, cv::COLOR_BGR2GRAY);
            if (cv::imwrite(name, grey))
                ++written;
        }
        progress.update(static_cast<long>(k + 1));
    }
    progress.finish();
    return written;
}

int ForeignBaseWriter::writeFeret(const std::vector<FacePhoto>& photos, int zoom)
{
    const std::string indexPath = (fs::path(feretDir()) / "coords.txt").string();
    std::ofstream index(indexPath);
    if (!index)
        throw std::runtime_error("cannot write " + indexPath);
    int written = 0;
    ProgressBar progress("feret faces", static_cast<long>(photos.size()));
    for (size_t k = 0; k < photos.size(); ++k) {
        const FacePhoto& photo = photos[k];
        progress.update(static_cast<long>(k + 1));
        if (photo.landmarks.size() < 5)
            continue;
        cv::Mat enlarged;
        cv::resize(PhotoFramer::load(photo.path), enlarged, cv::Size(), zoom, zoom, cv::INTER_CUBIC);
        const int padding = kFeretPadding * zoom;
        cv::copyMakeBorder(enlarged, enlarged, padding, padding, padding, padding, cv::BORDER_REPLICATE);
        auto at = [&](const cv::Point2f& p) {
            return cv::Point(static_cast<int>(std::lround(p.x * zoom + padding)),
                             static_cast<int>(std::lround(p.y * zoom + padding)));
        };
        const cv::Point leftEye = at(photo.landmarks[0]);
        const cv::Point rightEye = at(photo.landmarks[1]);
        const cv::Point nose = at(photo.landmarks[2]);
        const cv::Point mouth = at((photo.landmarks[3] + photo.landmarks[4]) * 0.5f);
        if (rightEye.x <= leftEye.x || mouth.y <= std::max(leftEye.y, rightEye.y))
            continue;
        const std::string name = fileStem(photo);
        if (!cv::imwrite((fs::path(feretDir()) / (name + ".jpg")).string(), enlarged))
            continue;
        index << name << ' ' << leftEye.x << ' ' << leftEye.y << ' ' << rightEye.x << ' ' << rightEye.y << ' '
              << nose.x << ' ' << nose.y << ' ' << mouth.x << ' ' << mouth.y << '\n';
        ++written;
    }
    progress.finish();
    if (!index)
        throw std::runtime_error("cannot write " + indexPath);
    return written;
}
