#include "DataFolder.h"

#include "Webcam.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace {
// The file whose presence marks a folder as holding the program's data.
const char* const kMarkerFile = "haarcascades/haarcascade.xml";

// The stand-in video is opened after the folder changes; a relative name must keep its meaning.
void makeCameraStandInAbsolute()
{
    const QString standIn = QString::fromLocal8Bit(qgetenv(Webcam::kStandInVariable));
    if (!standIn.isEmpty() && QFileInfo(standIn).isRelative())
        qputenv(Webcam::kStandInVariable, QFileInfo(standIn).absoluteFilePath().toLocal8Bit());
}
}  // namespace

QString enterDataFolder(const QString& installedFolder, const QString& programFolder)
{
    if (QFileInfo::exists(kMarkerFile)) {
        qDebug() << "data folder: the working folder" << QDir::currentPath();
        return QDir::currentPath();
    }
    const QString fromEnvironment = QString::fromLocal8Bit(qgetenv(kDataFolderVariable));
    const QString folder = fromEnvironment.isEmpty()
                               ? QDir(programFolder).absoluteFilePath(installedFolder)
                               : QFileInfo(fromEnvironment).absoluteFilePath();
    makeCameraStandInAbsolute();
    if (QDir::setCurrent(folder))
        qDebug() << "data folder:" << QDir::currentPath()
                 << (fromEnvironment.isEmpty() ? "(installed)" : "(from VISAGIO_DATA)");
    else
        qWarning() << "data folder:" << folder << "cannot be entered; data is read from"
                   << QDir::currentPath();
    return QDir::currentPath();
}
