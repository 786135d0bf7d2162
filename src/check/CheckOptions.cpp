#include "CheckOptions.h"

#include "ProfileLocation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace {
// Long enough for a slow camera to start and a face to be seen a few times; short enough that
// a login does not hang on a face that is not there.
constexpr int kDefaultTimeout = 4;
constexpr int kMinTimeout = 1;
constexpr int kMaxTimeout = 30;

const char* const kDescription =
    "Checks without a window whether the face before the camera is the owner's, as the Visagio "
    "window would, and answers by its exit status and one line on standard output:\n"
    "  0  yes: the owner (the lock opened)\n"
    "  1  no: not the owner, a photograph, no face or too badly lit, when the time is up\n"
    "  2  the command line is wrong\n"
    "  3  cannot run: the profile is missing, damaged or unsafe, or there is no camera\n"
    "It needs a profile enrolled with visagio --features resnet and the liveness check on, and "
    "refuses a profile that other users could have changed.";

QString absolute(const QString& path)
{
    return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
}

[[noreturn]] void failWithUsage(const QCommandLineParser& parser, const QString& error)
{
    std::fprintf(stderr, "%s: %s\n\n%s", qPrintable(QCoreApplication::applicationName()), qPrintable(error),
                 qPrintable(parser.helpText()));
    std::exit(kUsage);
}

// A whole number of seconds within the limits, written plainly ("4", not "4.0" or "+4"); 0 otherwise.
int timeoutValue(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    const bool plain = ok && text == QString::number(value);
    return plain && value >= kMinTimeout && value <= kMaxTimeout ? value : 0;
}
}  // namespace

CheckOptions parseCheckOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption profile("profile", "The owner profile (default: the window's, " +
                                     defaultProfileFolder() + ").", "dir");
    const QCommandLineOption camera("camera", "A video file that stands in for the camera (default: "
                                    "VISAGIO_CAMERA, else camera device 0).", "file");
    const QCommandLineOption timeout("timeout", QString("Seconds from the start, loading included, before "
                                     "the answer is no (%1-%2, default %3).").arg(kMinTimeout).arg(kMaxTimeout)
                                     .arg(kDefaultTimeout), "s");
    parser.addOptions({profile, camera, timeout});
    if (!parser.parse(arguments))
        failWithUsage(parser, parser.errorText());
    if (parser.isSet("help"))
        parser.showHelp(0);
    if (parser.isSet("version"))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        failWithUsage(parser, "takes no arguments, only options");
    CheckOptions options;
    if (parser.isSet(timeout) && (options.timeoutSeconds = timeoutValue(parser.value(timeout))) == 0)
        failWithUsage(parser, QString("--timeout takes whole seconds from %1 to %2").arg(kMinTimeout).arg(kMaxTimeout));
    options.profileDir = parser.isSet(profile) ? absolute(parser.value(profile)) : defaultProfileFolder();
    options.cameraFile = absolute(parser.value(camera));
    return options;
}
