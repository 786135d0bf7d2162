#include "DemoVideoMaker.h"

#include "SampleCutter.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {
// Clip faces are found on frames reduced to this width, with this smallest face.
constexpr int kScanWidth = 480;
constexpr int kScanMinFace = 40;
constexpr int kScanEvery = 5;
// Face width in the finished frame: a face at arm's length from a 320 x 240 webcam.
constexpr double kFaceWidth = 120.0;
// The face box centre sits a little above the frame centre.
constexpr float kFaceCentreY = 112.0f;
constexpr int kFaceFreeColumns = 4;
constexpr int kFaceFreeRows = 3;
constexpr double kFaceFreeDimming = 0.6;
// Photograph videos: how far the placement drifts per frame and at most (jitter amount).
constexpr double kDriftStep = 0.25;
constexpr double kDriftLimit = 1.0;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

FramePlacement clipPlacement(const std::vector<cv::Mat>& frames)
{
    cv::CascadeClassifier cascade(std::string("/usr/share/opencv4/haarcascades/") + "haarcascade_frontalface_alt2.xml");
    if (cascade.empty())
        cascade.load(SampleCutter::defaultFaceCascade());
    std::vector<double> xs, ys, widths;
    for (size_t k = 0; k < frames.size(); k += kScanEvery) {
        const double factor = static_cast<double>(kScanWidth) / frames[k].cols;
        cv::Mat small, grey;
        cv::resize(frames[k], small, cv::Size(), factor, factor, cv::INTER_AREA);
        cv::cvtColor(small, grey, cv::COLOR_BGR2GRAY);
        std::vector<cv::Rect> faces;
        cascade.detectMultiScale(grey, faces, 1.1, 3, 0, cv::Size(kScanMinFace, kScanMinFace));
        if (faces.empty())
            continue;
        const cv::Rect face = *std::max_element(faces.begin(), faces.end(),
                                                [](const cv::Rect& a, const cv::Rect& b) { return a.area() < b.area(); });
        xs.push_back((face.x + face.width * 0.5) / factor);
        ys.push_back((face.y + face.height * 0.5) / factor);
        widths.push_back(face.width / factor);
    }
    if (widths.empty())
        throw std::runtime_error("no face found in the clip");
    FramePlacement placement;
    placement.anchor = cv::Point2f(static_cast<float>(median(xs)), static_cast<float>(median(ys)));
    placement.scale = kFaceWidth / median(widths);
    placement.target = cv::Point2f(kFrameWidth * 0.5f, kFaceCentreY);
    return placement;
}

// One step of a bounded random walk of the placement around `home`.
FramePlacement drift(const FramePlacement& home, cv::Vec4d& state, std::mt19937& random)
{
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int c = 0; c < 4; ++c)
        state[c] = std::clamp(state[c] + unit(random) * kDriftStep, -kDriftLimit, kDriftLimit);
    return PhotoFramer::moved(home, state[0], state[1], state[2], state[3]);
}

} // namespace

std::vector<cv::Mat> DemoVideoMaker::read(const std::string& path)
{
    cv::VideoCapture capture(path);
    if (!capture.isOpened())
        throw std::runtime_error("cannot read video: " + path);
    std::vector<cv::Mat> frames;
    cv::Mat frame;
    while (capture.read(frame))
        frames.push_back(frame.clone());
    if (frames.empty())
        throw std::runtime_error("cannot read video: " + path);
    return frames;
}

std::vector<cv::Mat> DemoVideoMaker::clipFrames(const std::string& clip, int begin, int end, int step)
{
    const std::vector<cv::Mat> source = read(clip);
    const FramePlacement placement = clipPlacement(source);
    const int last = end < 0 ? static_cast<int>(source.size()) : std::min(end, static_cast<int>(source.size()));
    std::vector<cv::Mat> frames;
    for (int k = std::max(0, begin); k < last; k += std::max(1, step))
        frames.push_back(PhotoFramer::compose(source[static_cast<size_t>(k)], placement));
    return frames;
}

std::vector<cv::Mat> DemoVideoMaker::photoFrames(const std::vector<FacePhoto>& photos, int framesPerPhoto,
                                                 std::mt19937& random, const std::string& faceCascade,
                                                 const std::string& eyeCascade)
{
    SampleCutter cutter(faceCascade, eyeCascade);
    std::vector<cv::Mat> frames;
    cv::Vec4d state(0, 0, 0, 0);
    for (const auto& photo : photos) {
        const cv::Mat image = PhotoFramer::load(photo.path);
        FramePlacement home;
        if (!cutter.findPlacement(photo, image, home))
            continue;
        for (int f = 0; f < framesPerPhoto; ++f)
            frames.push_back(PhotoFramer::compose(image, drift(home, state, random)));
    }
    return frames;
}

std::vector<cv::Mat> DemoVideoMaker::faceFreeFrames(const cv::Mat& like, int count)
{
    // Only the scene's colours survive: the frame shrunk to a few pixels and stretched again.
    cv::Mat tiny, washed;
    cv::resize(like, tiny, cv::Size(kFaceFreeColumns, kFaceFreeRows), 0, 0, cv::INTER_AREA);
    cv::resize(tiny, washed, like.size(), 0, 0, cv::INTER_LINEAR);
    washed *= kFaceFreeDimming;
    std::vector<cv::Mat> frames;
    for (int k = 0; k < count; ++k)
        frames.push_back(washed.clone());
    return frames;
}

void DemoVideoMaker::write(const std::string& path, const std::vector<cv::Mat>& frames)
{
    cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), kFps,
                           kFrameSize);
    if (!writer.isOpened())
        throw std::runtime_error("cannot write video: " + path);
    for (const auto& frame : frames)
        writer.write(frame);
}
