#pragma once

#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

#include <vector>

// Test frames and videos (MJPG AVI, written into a folder the caller owns, normally a
// QTemporaryDir); face-free frames are synthetic and need nothing.

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
