// Frames per second of the window's per-frame work on a 320 x 240 face video: read a frame
// from the frame source (camera stand-in, unpaced), detect the face, cut the 35 x 45 sample,
// and the detector's share of that time. Also prints the resident memory before and after,
// which stays flat over a long run.
//
// Run it in the build's run directory (it reads ./haarcascades/haarcascade.xml):
//   frame-bench [--frames N] [video]
// Without a video it makes one from the shared face photographs ($VISAGIO_FACEDATA).

#include "FaceDetector.h"
#include "FaceGeometry.h"
#include "FaceVideo.h"
#include "FaceSample.h"
#include "Webcam.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace {
using Clock = std::chrono::steady_clock;

constexpr int kDefaultFrames = 1000;
// Essex person 13: consecutive frontal frames of a speaking person.

struct Options
{
    int frames = kDefaultFrames;
    QString video;
};

struct Timing
{
    double read = 0.0;
    double detect = 0.0;
    double sample = 0.0;
    int found = 0;
};

double elapsedMs(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

Options parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const QString arg = argv[i];
        if (arg == "--frames" && i + 1 < argc)
            options.frames = QString(argv[++i]).toInt();
        else if (arg == "--help" || arg.startsWith("-"))
            throw std::invalid_argument("usage: frame-bench [--frames N] [video]");
        else
            options.video = arg;
    }
    return options;
}

// The window's work on one frame while it collects samples: read, detect, sample.
Timing run(Webcam& webcam, FaceDetector& detector, int frames)
{
    Timing timing;
    cv::Mat sample(kSampleSize, CV_8UC1);
    for (int i = 0; i < frames; ++i) {
        auto start = Clock::now();
        const cv::Mat frame = webcam.queryFrame(kFrameSize);
        timing.read += elapsedMs(start);
        start = Clock::now();
        detector.processFrame(frame);
        timing.detect += elapsedMs(start);
        if (!detector.found())
            continue;
        ++timing.found;
        start = Clock::now();
        makeSample(detector.copyImage(0), sample);
        timing.sample += elapsedMs(start);
    }
    return timing;
}
} // namespace

int main(int argc, char** argv)
{
    try {
        const Options options = parse(argc, argv);
        QTemporaryDir dir;
        const QString video = options.video.isEmpty() ? makeFaceVideo(dir.path()) : options.video;
        qputenv("VISAGIO_CAMERA", video.toLocal8Bit());
        qputenv("VISAGIO_CAMERA_PACE", "0");
        FaceDetector detector;
        Webcam webcam;
        if (!webcam.start({}))
            throw std::runtime_error("cannot open " + video.toStdString());

        run(webcam, detector, 50);  // warm-up: decoder, cascade, allocations
        const long memoryBefore = residentKb();
        const Timing t = run(webcam, detector, options.frames);
        const long memoryAfter = residentKb();

        const double total = t.read + t.detect + t.sample;
        std::printf("video %s, %d frames, face found in %d\n", qPrintable(video), options.frames, t.found);
        std::printf("read %.3f ms  detect %.3f ms  sample %.3f ms  per frame\n", t.read / options.frames,
                    t.detect / options.frames, t.sample / options.frames);
        std::printf("frames per second %.1f, detector share %.1f %%\n", 1000.0 * options.frames / total,
                    100.0 * t.detect / total);
        std::printf("resident memory %ld kB before, %ld kB after\n", memoryBefore, memoryAfter);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
