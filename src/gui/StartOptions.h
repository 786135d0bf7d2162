#pragma once

#include <QString>
#include <QStringList>

// What the command line asks of a run of Visagio; every path is absolute.
struct StartOptions
{
    QString videoDir;    // the video test's folder of "*.avi" files; empty: the camera
    QString profileDir;  // the owner profile's folder
    QString cameraFile;  // a video standing in for the camera; empty: VISAGIO_CAMERA or none
    QString language;    // "ru" or "en"; empty: the system locale chooses
    QString features;    // "grbm" or "resnet"; empty: the profile's recorded choice
    QString liveness;    // "on" or "off"; empty: the profile's recorded choice, else the model's default
};

// Reads the command line:
//   visagio [--profile DIR] [--camera FILE] [--lang ru|en] [--features grbm|resnet] [--liveness on|off]
//           [video directory]
// plus --help and --version.
// Requires: a QCoreApplication (or QApplication) exists; its name and version are set.
// Ensures:  the options, relative paths made absolute against the current folder, the
//           profile defaulting to defaultProfileFolder(). --help and --version
//           print to standard output and end the process with status 0; an unknown option, a
//           --lang other than ru or en, a --features other than grbm or resnet, a --liveness other than on or off, or a second
//           positional argument prints the error and
//           the usage to standard error and ends the process with status 2.
StartOptions parseStartOptions(const QStringList& arguments);
