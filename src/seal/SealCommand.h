#pragma once

#include "CheckOptions.h"

#include <QString>

#include <string>
#include <vector>

// sudo visagio-check --seal and --unseal. Neither loads a network nor opens a camera.

// Requires: options.mode is Seal; the process runs as root under sudo (SealOwner.h).
// Ensures:  the owner's profile sealed (SealTransfer.h, SealStore.h) for the weights of the
//           installed data folder (`programFolder` + VISAGIO_DATA_FOLDER: never the working
//           folder or VISAGIO_DATA); the lines to print: "sealed group-N" or "left out group-N:
//           REASON" by increasing N, then "sealed: N groups for USER".
// Throws:   CannotRun saying what is wrong and what to do; nothing is sealed then.
std::vector<std::string> sealProfile(const CheckOptions& options, const QString& programFolder);

// Requires: options.mode is Unseal; root under sudo.
// Ensures:  the owner's sealed copy and seal removed (none is no error); the line to print.
// Throws:   CannotRun as sealProfile, or naming what cannot be removed.
std::vector<std::string> unsealProfile(const CheckOptions& options);
