#pragma once

#include <QString>

class QApplication;

// Runs Visagio: builds the main window, shows it and runs the event loop.
// Ensures: returns the event loop's exit code; 0 without running the loop when no camera was
//          found (the window has already warned); 1 when the face model or the foreign faces
//          could not be loaded (reported in a message box and on standard error).
int runVisagio(QApplication& app, const QString& videoDir);
