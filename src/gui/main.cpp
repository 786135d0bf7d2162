#include "Application.h"

#include <QApplication>

// Visagio [video directory]: the optional directory holds the "*.avi" files that "Открыть"
// plays instead of the camera.
int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString videoDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    return runVisagio(app, videoDir);
}
