#include "Application.h"
#include "DataFolder.h"
#include "StartOptions.h"

#include <QApplication>
#include <QCoreApplication>

// Visagio [--profile DIR] [--camera FILE] [--lang ru|en] [video directory]; --help lists the
// options. The command line is read under a plain QCoreApplication, so that --help, --version
// and usage errors need no display; its paths are absolute before the program moves to its data
// folder (VISAGIO_DATA_FOLDER is that folder relative to the program's own, as installed).
int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName("visagio");
    QCoreApplication::setApplicationVersion(VISAGIO_VERSION);
    StartOptions options;
    {
        const QCoreApplication parsing(argc, argv);
        options = parseStartOptions(QCoreApplication::arguments());
        enterDataFolder(VISAGIO_DATA_FOLDER, QCoreApplication::applicationDirPath());
    }
    QApplication app(argc, argv);
    return runVisagio(app, options);
}
