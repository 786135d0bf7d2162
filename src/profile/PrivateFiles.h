#pragma once

#include <QFile>
#include <QString>

// Files and folders of the owner profile are its owner's alone from the moment they exist:
// created with that mode, never made private afterwards (a reader in between would see them
// open to others, whatever the umask).

// Ensures: true when `path` was created as a new file (never an existing one, never through a
//          symbolic link), mode 0600, and `file` is open on it for writing; otherwise false
//          with errno saying why.
bool openPrivateFile(QFile& file, const QString& path);

// Ensures: true when `path` was created as a new folder of mode 0700; false otherwise (errno).
bool makePrivateFolder(const QString& path);

// Ensures: true when `path` is a folder, its missing ancestors created as private folders
//          (0700, as the XDG base directories are to be made); false otherwise (errno).
bool makePrivatePath(const QString& path);
