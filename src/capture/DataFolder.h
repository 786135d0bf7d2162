#pragma once

#include <QString>

// Where the program's data (cascades, model, foreign-face base) is read from. The program reads
// it by relative path, so it runs in the folder that holds it: the run directory the build
// assembles, or the data folder an installation puts next to the program.

// The environment variable that names the data folder, overriding the installed location.
constexpr const char* kDataFolderVariable = "VISAGIO_DATA";

// Requires: every path of the command line is already absolute (the working folder may change).
// Ensures:  when the working folder holds "haarcascades/haarcascade.xml", nothing changes;
//           otherwise the working folder becomes $VISAGIO_DATA when set, else `installedFolder`
//           (a relative one is taken against the program's own folder), and a relative
//           VISAGIO_CAMERA is first made absolute against the old working folder. Logs the
//           folder used (qDebug), or a qWarning when it cannot be entered; loading then fails
//           with its own message. Returns the working folder after the call.
QString enterDataFolder(const QString& installedFolder, const QString& programFolder);
