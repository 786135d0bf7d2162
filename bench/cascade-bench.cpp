// Compares Debian's frontal-face Haar cascades under the detector's fixed parameters: the
// share of shared face photographs (placed in 320 x 240 frames, face wider than 90 px) in
// which the face is found, the share of face-free frames with a false detection, and the
// time per frame.
//
// Usage: cascade-bench [facedata folder] [cascade folder]
//   facedata folder defaults to $VISAGIO_FACEDATA, cascade folder to /usr/share/opencv4/haarcascades.

#include "FaceDetector.h"
#include "FaceGeometry.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {
const char* const kDefaultCascadeDir = "/usr/share/opencv4/haarcascades";
const char* const kCascades[] = {"haarcascade_frontalface_default.xml", "haarcascade_frontalface_alt.xml",
                                 "haarcascade_frontalface_alt2.xml", "haarcascade_frontalface_alt_tree.xml"};
// Every n-th LFW photograph, to keep the run to a few hundred frames a set.
constexpr int kLfwStride = 9;
constexpr int kSyntheticFrames = 300;

struct PhotoSet
{
    std::string name;
    std::vector<cv::Mat> frames;
};

cv::Mat readPhoto(const QString& path)
{
    // GIF (Yale) is not an OpenCV format; Qt reads every photograph here.
    const QImage image = QImage(path).convertToFormat(QImage::Format_RGB888);
    if (image.isNull())
        return cv::Mat();
    const cv::Mat rgb(image.height(), image.width(), CV_8UC3, const_cast<uchar*>(image.bits()),
                      size_t(image.bytesPerLine()));
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    return bgr;
}

// The photograph scaled to `height` pixels and centred in a black 320 x 240 frame (cropped
// where it is larger).
cv::Mat placeCentred(const cv::Mat& photo, int height)
{
    cv::Mat frame(kFrameSize, CV_8UC3, cv::Scalar::all(0));
    cv::Mat scaled;
    const double scale = double(height) / photo.rows;
    cv::resize(photo, scaled, cv::Size(), scale, scale, cv::INTER_LINEAR);
    const cv::Point offset((frame.cols - scaled.cols) / 2, (frame.rows - scaled.rows) / 2);
    const cv::Rect target = cv::Rect(offset, scaled.size()) & cv::Rect(cv::Point(), kFrameSize);
    scaled(target - offset).copyTo(frame(target));
    return frame;
}

PhotoSet loadSet(const QString& dir, const std::string& name, int stride, int height)
{
    PhotoSet set{name, {}};
    QStringList paths;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    paths.sort();
    for (int i = 0; i < paths.size(); i += stride) {
        if (paths[i].endsWith(".txt") || paths[i].endsWith(".md"))
            continue;
        const cv::Mat photo = readPhoto(paths[i]);
        if (!photo.empty())
            set.frames.push_back(placeCentred(photo, height));
    }
    return set;
}

// Every second frame of a webcam-like video, scaled to 320 x 240 as the frame source does.
PhotoSet videoSet(const QString& path, const std::string& name)
{
    PhotoSet set{name, {}};
    cv::VideoCapture capture(path.toStdString());
    cv::Mat frame;
    for (int i = 0; capture.read(frame); ++i) {
        if (i % 2 != 0)
            continue;
        cv::Mat scaled;
        cv::resize(frame, scaled, kFrameSize, 0, 0, cv::INTER_LINEAR);
        set.frames.push_back(scaled);
    }
    return set;
}

// Face-free frames: smooth random noise at several grain sizes with random shapes on top.
PhotoSet syntheticSet()
{
    PhotoSet set{"synthetic face-free", {}};
    std::mt19937 random(7);
    for (int i = 0; i < kSyntheticFrames; ++i) {
        const int grain = 2 << (i % 5);
        cv::Mat noise(kFrameSize.height / grain + 1, kFrameSize.width / grain + 1, CV_8UC3);
        cv::randu(noise, cv::Scalar::all(0), cv::Scalar::all(255));
        cv::Mat frame;
        cv::resize(noise, frame, kFrameSize, 0, 0, cv::INTER_CUBIC);
        for (int k = 0; k < 6; ++k) {
            const cv::Point centre(int(random() % kFrameWidth), int(random() % kFrameHeight));
            const cv::Scalar colour(random() % 256, random() % 256, random() % 256);
            if (k % 2 == 0)
                cv::circle(frame, centre, 10 + int(random() % 60), colour, -1);
            else
                cv::rectangle(frame, centre, centre + cv::Point(20 + int(random() % 80), 20 + int(random() % 80)),
                              colour, -1);
        }
        set.frames.push_back(frame);
    }
    return set;
}

// The no-face photograph of the landmark samples at several sizes and shifts, and upside-down
// LFW faces (not frontal faces for an upright cascade).
PhotoSet noFacePhotoSet(const QString& facedata, const PhotoSet& lfw)
{
    PhotoSet set{"dogs photo + upside-down faces", {}};
    const cv::Mat dogs = readPhoto(QDir(facedata).filePath("landmark_samples/dlib/examples/faces/dogs.jpg"));
    if (!dogs.empty()) {
        for (int height : {240, 320, 400, 480})
            set.frames.push_back(placeCentred(dogs, height));
    }
    for (const cv::Mat& frame : lfw.frames) {
        cv::Mat flipped;
        cv::flip(frame, flipped, 0);
        set.frames.push_back(flipped);
    }
    return set;
}

struct Result
{
    int hits = 0;
    int detections = 0;
    double msPerFrame = 0.0;
};

// Counts frames with a detection, and frames whose chosen face covers the frame centre (where
// a photograph's face sits).
Result run(FaceDetector& detector, const PhotoSet& set)
{
    Result result;
    const cv::Point centre(kFrameSize.width / 2, kFrameSize.height / 2);
    const auto start = std::chrono::steady_clock::now();
    for (const cv::Mat& frame : set.frames) {
        detector.processFrame(frame);
        if (!detector.found())
            continue;
        ++result.detections;
        if (detector.faceRect().contains(centre))
            ++result.hits;
    }
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    result.msPerFrame = set.frames.empty() ? 0.0 : elapsed.count() / set.frames.size();
    return result;
}

double percent(int count, size_t total)
{
    return total == 0 ? 0.0 : 100.0 * count / double(total);
}


void printRow(const char* cascade, const PhotoSet& set, const Result& result, const char* kind)
{
    std::printf("%-38s %-30s %6zu %8.1f %8.1f %9.2f  %s\n", cascade, set.name.c_str(), set.frames.size(),
                percent(result.hits, set.frames.size()), percent(result.detections, set.frames.size()),
                result.msPerFrame, kind);
}
} // namespace

int main(int argc, char** argv)
{
    const QString facedata = argc > 1 ? QString(argv[1]) : QString::fromLocal8Bit(qgetenv("VISAGIO_FACEDATA"));
    const QString cascadeDir = argc > 2 ? QString(argv[2]) : QString(kDefaultCascadeDir);
    if (facedata.isEmpty() || !QDir(facedata).exists()) {
        std::fprintf(stderr, "usage: cascade-bench <facedata folder> [cascade folder]\n");
        return 1;
    }
    const QDir data(facedata);
    // LFW is scaled up by 1.2 so that its faces (about 100 px in 250 px) stay clear of the
    // 90 px minimum, and once more at frame height, where they are close to it; Essex and Yale
    // fill the frame height.
    const std::vector<PhotoSet> photoSets = {
        loadSet(data.filePath("lfw_min10/people"), "lfw_min10 (every 9th)", kLfwStride, 300),
        loadSet(data.filePath("essex_faces94_female"), "essex_faces94_female", 1, 240),
        loadSet(data.filePath("yalefaces"), "yalefaces", 1, 240),
        loadSet(data.filePath("lfw_min10/people"), "lfw_min10 at 240 (face ~100)", kLfwStride, 240)};
    const std::vector<PhotoSet> videoSets = {
        videoSet(data.filePath("videos/leszko_sample-files/me.mp4"), "video leszko me.mp4"),
        videoSet(data.filePath("videos/leszko_sample-files/me-out.mp4"), "video leszko me-out.mp4"),
        videoSet(data.filePath("videos/leszko_sample-files/face.mp4"), "video leszko face.mp4"),
        videoSet(data.filePath("videos/1zlab_OpenCV_Face_Detection/face.mp4"), "video 1zlab face.mp4"),
        videoSet(data.filePath("videos/Fellway_Closed_eyes_detector/media/me.mp4"), "video Fellway me.mp4")};
    const std::vector<PhotoSet> freeSets = {syntheticSet(), noFacePhotoSet(facedata, photoSets[0])};

    std::printf("%-38s %-30s %6s %8s %8s %9s\n", "cascade", "set", "frames", "centre %", "found %", "ms/frame");
    for (const char* cascade : kCascades) {
        FaceDetector detector(QDir(cascadeDir).filePath(cascade).toStdString(), "");
        int hits = 0;
        size_t total = 0;
        for (size_t i = 0; i < 3; ++i) {
            const Result result = run(detector, photoSets[i]);
            hits += result.hits;
            total += photoSets[i].frames.size();
            printRow(cascade, photoSets[i], result, "photos");
        }
        std::printf("%-38s %-30s %6zu %8.1f\n", cascade, "three photo sets", total, percent(hits, total));
        printRow(cascade, photoSets[3], run(detector, photoSets[3]), "photos, small faces");
        for (const PhotoSet& set : videoSets)
            printRow(cascade, set, run(detector, set), "video (face in most frames)");
        for (const PhotoSet& set : freeSets)
            printRow(cascade, set, run(detector, set), "face-free: found % = false detections");
    }
    return 0;
}
