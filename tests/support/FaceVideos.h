#pragma once

#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

#include <vector>

// Test frames and videos (MJPG AVI, written into a folder the caller owns, normally a
// QTemporaryDir). Face photographs need the shared face data (REQUIRE_FACEDATA); face-free
// frames are synthetic and need nothing.

// The default face: the photographs of Essex person "13" (paths relative to the face data
// folder) in recording order, consecutive frontal frames of a speaking person; empty when the
// face data is missing. Every frontal cascade of opencv-data finds the face in all 16 when a
// photograph fills the frame height (face 120 to 180 px wide: "Лицо найдено").
QStringList defaultFacePhotos();

// Face-free frame (kFrameSize) number `index`: smooth colour noise with filled circles and
// rectangles, different for every index, the same on every call. No frontal cascade of
// opencv-data finds a face in it.
cv::Mat faceFreeFrame(int index);

// Writes `frames` face-free frames (faceFreeFrame(0), (1), ...) to dir/name; returns the
// path, or an empty string when the video cannot be written.
QString writeEmptyVideo(const QString& dir, const QString& name, int frames, double fps = 25.0);

// Writes frames of any one size (taken from the first frame) as an MJPG AVI; false when there
// is no frame or the writer cannot open.
bool writeVideoFile(const QString& path, const std::vector<cv::Mat>& frames, double fps = 25.0);
