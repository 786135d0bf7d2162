#pragma once

#include <QStandardPaths>
#include <QString>

// Where the owner profile lives unless a command line names another folder:
// $XDG_DATA_HOME/visagio, else ~/.local/share/visagio. The window and the headless check read
// the same folder whatever their own program names are.
inline QString defaultProfileFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/visagio";
}

// Where sudo visagio-check --seal keeps, for logins that run as root, each user's sealed copy
// of the profile (USER/) and its seal (USER.seal).
inline constexpr const char* kSealFolder = "/var/lib/visagio";
