#pragma once

#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

#include <vector>

// Test videos made from the shared photographs (MJPG AVI, written into a folder the caller
// owns, normally a QTemporaryDir). Face videos need the shared face data (REQUIRE_FACEDATA);
// face-free videos are synthetic and need nothing.

// Photographs of one person of the Essex set (paths relative to the face data folder) in
// recording order: consecutive frontal frames of a speaking person. Empty when the person or
// the face data is missing.
QStringList essexPhotos(const QString& person);

// The default face: Essex person "13", whose face every frontal cascade of opencv-data finds
// in all 16 photographs when a photograph fills the frame height (face 120 to 180 px
// wide, so the window reads "Лицо найдено").
QStringList defaultFacePhotos();

// Writes `frames` frames of kFrameSize to dir/name: frame i shows photos[i % photos.size()]
// placed by placeInFrame at `photoHeight` (0: the frame height). Returns the video's path, or
// an empty string when a photograph cannot be read or the video cannot be written.
QString writeFaceVideo(const QString& dir, const QString& name, int frames,
                       const QStringList& photos = defaultFacePhotos(), int photoHeight = 0,
                       double fps = 25.0);

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
