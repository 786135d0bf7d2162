#include "Application.h"
#include "StartOptions.h"

#include <QApplication>
#include <QCoreApplication>

// Visagio [--profile DIR] [--camera FILE] [video directory]; --help lists the options.
// The command line is read under a plain QCoreApplication, so that --help, --version and
// usage errors need no display.
int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName("visagio");
    QCoreApplication::setApplicationVersion(VISAGIO_VERSION);
    StartOptions options;
    {
        const QCoreApplication parsing(argc, argv);
        options = parseStartOptions(QCoreApplication::arguments());
    }
    QApplication app(argc, argv);
    return runVisagio(app, options);
}
