#pragma once

#include <QString>

#include <filesystem>

// One recorded session of the shared face data (a folder of frames in capture order) as a
// video at `path`, 10 frames a second, zoomed as the evaluation's session axis zooms it (a user
// sitting nearer), in the codec `fourcc`.
void writeSessionVideo(const std::filesystem::path& session, const QString& path, int fourcc);

// nuaa0004 at the office webcam as camera stand-ins, each folder/NAME.avi (MJPG): "enrol" (his
// first day), "owner" (his second), "stranger" (nuaa0007's first day) and "photograph" (his
// printed photograph held to the webcam on his second day).
void writeOwnerStandIns(const QString& folder);
