#include "SessionZoom.h"

#include <opencv2/imgproc.hpp>

namespace {
// Zooms tried in turn on a session: a user sitting up to twice as near.
constexpr double kZoomLadder[] = {1.0, 1.25, 1.5, 1.75, 2.0};
// A zoom is enough once the detector finds a face in this share of the session's frames.
constexpr double kEnoughFaceShare = 0.5;

SessionZoom cutAll(const std::vector<cv::Mat>& frames, double zoom, SampleCutter& cutter)
{
    SessionZoom cut;
    cut.zoom = zoom;
    for (const cv::Mat& frame : frames) {
        cut.samples.push_back(cutter.cutFrame(SessionZoom::zoomed(frame, zoom)));
        cut.faceBoxes.push_back(cutter.lastFace());
        cut.faces += cut.samples.back().empty() ? 0 : 1;
    }
    return cut;
}
} // namespace

SessionZoom SessionZoom::choose(const std::vector<cv::Mat>& frames, SampleCutter& cutter)
{
    SessionZoom best;
    int asRecorded = 0;
    for (double zoom : kZoomLadder) {
        SessionZoom cut = cutAll(frames, zoom, cutter);
        const bool first = zoom == kZoomLadder[0];
        const bool enough = cut.faces >= kEnoughFaceShare * double(frames.size());
        asRecorded = first ? cut.faces : asRecorded;
        if (first || cut.faces > best.faces)
            best = std::move(cut);
        if (enough)
            break;
    }
    best.facesAsRecorded = asRecorded;
    return best;
}

cv::Mat SessionZoom::zoomed(const cv::Mat& frame, double zoom)
{
    if (zoom <= 1.0)
        return frame;
    const cv::Size inner(static_cast<int>(frame.cols / zoom), static_cast<int>(frame.rows / zoom));
    const cv::Rect centre((frame.cols - inner.width) / 2, (frame.rows - inner.height) / 2, inner.width, inner.height);
    cv::Mat result;
    cv::resize(frame(centre), result, frame.size(), 0, 0, cv::INTER_LINEAR);
    return result;
}
