#pragma once

// Where the lock finds its files, relative to the working directory (the build's run/ folder,
// or the installed data folder).

// The feature model, and its calibration beside it (the model's path + ".calibration").
inline constexpr const char* kModelPath = "glasgow-45x35/200/100-res.grbm";
// The foreign-face base: a "glasgow" and a "feret" folder.
inline constexpr const char* kForeignFacesPath = "foreignfaces/all/";
inline constexpr const char* kFaceCascadePath = "./haarcascades/haarcascade.xml";
inline constexpr const char* kEyeCascadePath = "./haarcascades/haarcascade_eye_tree_eyeglasses.xml";
// The eye search that aligns the face-resnet's chips (FaceChip.h).
inline constexpr const char* kChipEyeCascadePath = "./haarcascades/haarcascade_eye.xml";
// The liveness check's classifier (LivenessCheck.h).
inline constexpr const char* kLivenessModelPath = "liveness/liveness.model";
// The face-resnet's manifest and weights (FaceResnet.h).
inline constexpr const char* kResnetFolder = "face-resnet/";
// The 68-point landmark network's manifest and weights (FaceLandmarks.h).
inline constexpr const char* kLandmarksFolder = "face-landmarks/";
