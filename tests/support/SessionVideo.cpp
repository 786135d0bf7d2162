#include "SessionVideo.h"

#include "FaceGeometry.h"
#include "FolderListing.h"
#include "RunFolder.h"
#include "SampleCutter.h"
#include "SessionZoom.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <vector>

void writeSessionVideo(const std::filesystem::path& session, const QString& path, int fourcc)
{
    std::vector<cv::Mat> frames;
    for (const std::filesystem::path& file : sortedEntries(session, false))
        frames.push_back(cv::imread(file.string()));
    SampleCutter cutter(kFaceCascadePath, kEyeCascadePath);
    const double zoom = SessionZoom::choose(frames, cutter).zoom;
    cv::VideoWriter writer(path.toStdString(), fourcc, 10.0, kFrameSize);
    for (const cv::Mat& frame : frames)
        writer.write(SessionZoom::zoomed(frame, zoom));
}
