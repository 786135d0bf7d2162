#pragma once

#include "StartOptions.h"

class QApplication;

// Runs Visagio: builds the main window on the options' profile and video folder, shows it and
// runs the event loop. A camera file given is set as VISAGIO_CAMERA, so it wins over the
// variable. The window speaks the options' language, else the one the locale chooses
// (chooseLanguage). Faces are verified with the feature model of --features, else the one the
// profile recorded (grbm for a profile that never recorded one).
// Ensures: returns the event loop's exit code; 0 without running the loop when no camera was
//          found (the window has already warned); 1 when the face model, the foreign faces, the
//          face-resnet's files or the owner profile's groups could not be loaded (reported in a
//          message box and on standard error, naming the file or folder at fault).
int runVisagio(QApplication& app, const StartOptions& options);
