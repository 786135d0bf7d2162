#pragma once

#include "FaceLandmarks.h"

#include <optional>

// The turn of a head, estimated from its 68 face landmarks (the iBUG order: jaw 0-16, nose
// 27-35, eyes 36-47, mouth 48-67) by two rough geometric models, in degrees:
//   yaw > 0   the nose lies right of the jaw line's middle in the image (the face turns
//             towards the image's right); 0 facing the camera;
//   pitch > 0 the nose tip drops towards the mouth (the face turns down); 0 where it lies on
//             the calibration faces (mostly frontal press photographs).
// Roll (the tilt of the eye line) is taken out first, so a tilted head keeps its yaw and pitch.
struct HeadPose
{
    float yaw = 0;
    float pitch = 0;
};

// Ensures: the pose of the face whose landmarks these are; nothing for points too degenerate
//          to measure (the jaw line or the eye-to-mouth height collapsed, a value not finite).
std::optional<HeadPose> headPose(const FaceLandmarks::Points& points);
