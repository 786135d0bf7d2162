#include "SessionVideo.h"

#include "FaceGeometry.h"
#include "FolderListing.h"
#include "RunFolder.h"
#include "SampleCutter.h"
#include "SessionZoom.h"
#include "TestData.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <map>
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

void writeOwnerStandIns(const QString& folder)
{
    const std::filesystem::path facedata = facedataDir().toStdString();
    const std::map<QString, std::filesystem::path> sessions = {
        {"enrol", facedata / "nuaa_webcam/people/nuaa0004/session01"},
        {"owner", facedata / "nuaa_webcam/people/nuaa0004/session02"},
        {"stranger", facedata / "nuaa_webcam/people/nuaa0007/session01"},
        {"photograph", facedata / "nuaa_attack/photo/nuaa0004/session02"}};
    for (const auto& [name, session] : sessions)
        writeSessionVideo(session, folder + "/" + name + ".avi", cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
}
