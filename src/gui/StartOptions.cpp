#include "StartOptions.h"

#include "ProfileLocation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace {
// The exit status of a command line Visagio does not understand (as other Unix programs).
constexpr int kUsageExitStatus = 2;
// The languages --lang accepts.
const QStringList kLanguages = {"ru", "en"};
// The feature models --features accepts.
const QStringList kFeatureModels = {"grbm", "resnet"};
// The values --liveness accepts.
const QStringList kSwitch = {"on", "off"};

QString absolute(const QString& path)
{
    return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
}

[[noreturn]] void failWithUsage(const QCommandLineParser& parser, const QString& error)
{
    std::fprintf(stderr, "%s: %s\n\n%s", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(error), qPrintable(parser.helpText()));
    std::exit(kUsageExitStatus);
}
}  // namespace

StartOptions parseStartOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("A face-verification lock: enrol the owner's face, then open the lock for it.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption profile("profile",
                                     "Keep the owner profile (the enrolment groups) in <dir> instead of " +
                                         defaultProfileFolder() + ".",
                                     "dir");
    const QCommandLineOption camera("camera",
                                    "Play <file> in place of the camera, as VISAGIO_CAMERA does; this option "
                                    "wins over the variable.",
                                    "file");
    const QCommandLineOption language("lang", "Show the window in <language>: ru or en (default: ru for a Russian "
                                              "or C/POSIX locale, en for any other).",
                                      "language");
    const QCommandLineOption features(
        "features",
        "Verify faces with <model>: grbm, the small model on 35 x 45 grey faces, or resnet, a deep face "
        "embedding that tells the owner on another day from strangers in the same room far better. "
        "The choice is kept in the profile for later starts (default: the profile's choice, else grbm). "
        "Groups enrolled for grbm cannot serve resnet: enrol again after switching.",
        "model");
    const QCommandLineOption liveness(
        "liveness",
        "Turn the liveness check on or off: each face must look live (its colour texture) before it can "
        "open the lock, which stops printed photographs of the owner held to the camera. It was trained on "
        "printed photographs at one office webcam; at other cameras it rejects more live faces, and phone "
        "and tablet screens, video replays and masks are untested. A face too dark, backlit or overexposed "
        "is not judged (\"Poor lighting\"). Kept in the profile (default: the profile's choice, else on "
        "for resnet and off for grbm).",
        "on|off");
    parser.addOption(profile);
    parser.addOption(features);
    parser.addOption(liveness);
    parser.addOption(camera);
    parser.addOption(language);
    parser.addPositionalArgument("videos", "Folder of *.avi files that \"Открыть\" plays instead of the camera.",
                                 "[videos]");
    if (!parser.parse(arguments))
        failWithUsage(parser, parser.errorText());
    if (parser.isSet("help"))
        parser.showHelp(0);
    if (parser.isSet("version"))
        parser.showVersion();
    if (parser.positionalArguments().size() > 1)
        failWithUsage(parser, "only one video folder can be given");
    if (parser.isSet(language) && !kLanguages.contains(parser.value(language)))
        failWithUsage(parser, "--lang takes ru or en");
    if (parser.isSet(features) && !kFeatureModels.contains(parser.value(features)))
        failWithUsage(parser, "--features takes grbm or resnet");
    if (parser.isSet(liveness) && !kSwitch.contains(parser.value(liveness)))
        failWithUsage(parser, "--liveness takes on or off");

    StartOptions options;
    options.videoDir = absolute(parser.positionalArguments().value(0));
    options.profileDir = parser.isSet(profile)
                             ? absolute(parser.value(profile))
                             : defaultProfileFolder();
    options.cameraFile = absolute(parser.value(camera));
    options.language = parser.value(language);
    options.features = parser.value(features);
    options.liveness = parser.value(liveness);
    return options;
}
