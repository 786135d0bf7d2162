#pragma once

#include "CheckAnswer.h"
#include "CheckOptions.h"

#include <chrono>

// The whole check: the profile is read and checked first, then the face-resnet and the
// liveness check load, then the camera's frames run through the verification engine, from a
// confidence of 0, until the lock opens or the time is up.
//
// Requires: the working folder is the data folder (enterDataFolder); a --camera file is
//           already the camera stand-in (VISAGIO_CAMERA).
// Ensures:  yes (0) when the lock opens; no (1) at the timeout, with the run's most frequent
//           reason; cannot run (3) at once for a profile or model that cannot be used, a
//           camera that cannot be opened, no frame before the timeout, or a first second of
//           nothing but darkness. Once a frame that is not dark has come, a failing or
//           darkened camera ends the run as no, never as cannot run.
CheckAnswer runCheck(const CheckOptions& options, std::chrono::steady_clock::time_point start);
