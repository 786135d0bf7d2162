#pragma once

#include "ProfileLocation.h"

#include <QString>
#include <QStringList>

// What the command line asks of a run of visagio-check; every path is absolute.
struct CheckOptions
{
    enum class Mode { Check, Seal, Unseal };

    Mode mode = Mode::Check;
    QString profileDir;  // the owner profile's folder
    QString cameraFile;  // a video standing in for the camera; empty: VISAGIO_CAMERA or device 0
    int timeoutSeconds = 4;
    QString expectedSeal;  // the digest the profile must have (64 lower-case hex); empty: any
    // Where --seal and --unseal keep the sealed copies, and the group that may read them (only
    // a test build lets the command line change them).
    QString sealFolder = kSealFolder;
    QString sealGroup = "visagio";
};

// The exit statuses of visagio-check.
enum CheckStatus { kOwner = 0, kNotOwner = 1, kUsage = 2, kCannotRun = 3 };

// Reads the command line:
//   visagio-check [--profile DIR] [--camera FILE] [--timeout S] [--expect-seal SHA256]
//   visagio-check --seal | --unseal
// plus --help and --version; a test build (VISAGIO_CHECK_TESTING) adds --seal-dir DIR and
// --seal-group NAME to --seal and --unseal.
// Requires: a QCoreApplication exists; its name and version are set.
// Ensures:  the options, relative paths made absolute against the current folder, the profile
//           defaulting to the window's. --help and --version print to standard output and end
//           the process with status 0; an unknown option, a timeout other than a whole number
//           of seconds from 1 to 30, a seal that is not 64 lower-case hex digits, --seal or
//           --unseal with another option, or a positional argument prints the error and the usage
//           to standard error and ends the process with status 2.
CheckOptions parseCheckOptions(const QStringList& arguments);
