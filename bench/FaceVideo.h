#pragma once

#include <QString>

// What the frame and soak benchmarks share: a face video to play and the memory they watch.

// Writes dir/face.avi: 100 frames, 320 x 240 MJPG, of one Essex person's photographs, each
// filling the frame height. The photographs come from $VISAGIO_FACEDATA, else from the face
// data beside the sources seen from the build's run folder.
// Throws: std::runtime_error when there are no photographs.
QString makeFaceVideo(const QString& dir);

// The process's resident memory in KiB, or -1 when /proc cannot be read.
long residentKb();
