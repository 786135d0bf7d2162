#include "CheckOptions.h"

#include "ProfileLocation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

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
    "refuses a profile that other users could have changed.\n"
    "sudo visagio-check --seal copies the profile of the user running sudo to %1, "
    "for logins that run as root, and records its digest; sudo visagio-check --unseal removes both.";

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

// A SHA-256 as a seal records it: 64 lower-case hex digits.
bool isDigest(const QString& text)
{
    static const QRegularExpression digest("\\A[0-9a-f]{64}\\z");
    return digest.match(text).hasMatch();
}

// --seal and --unseal take no other option: a seal does not depend on how a check would run.
void requireSealAlone(const QCommandLineParser& parser, const QStringList& checkOptions)
{
    if (parser.isSet("seal") && parser.isSet("unseal"))
        failWithUsage(parser, "--seal and --unseal exclude each other");
    for (const QString& name : checkOptions)
        if (parser.isSet(name))
            failWithUsage(parser, QString("--%1 takes no other option").arg(parser.isSet("seal") ? "seal" : "unseal"));
}

#ifdef VISAGIO_CHECK_TESTING
// A test build only: the sealed copies in a folder of the test's, readable by a group that exists.
void addTestOptions(QCommandLineParser& parser)
{
    parser.addOptions({{"seal-dir", "Test build: the folder of sealed copies.", "dir"},
                       {"seal-group", "Test build: the group that may read them.", "name"}});
}

void readTestOptions(const QCommandLineParser& parser, CheckOptions& options)
{
    if ((parser.isSet("seal-dir") || parser.isSet("seal-group")) && options.mode == CheckOptions::Mode::Check)
        failWithUsage(parser, "--seal-dir and --seal-group go with --seal or --unseal");
    if (parser.isSet("seal-dir"))
        options.sealFolder = absolute(parser.value("seal-dir"));
    if (parser.isSet("seal-group"))
        options.sealGroup = parser.value("seal-group");
}
#else
void addTestOptions(QCommandLineParser&) {}
void readTestOptions(const QCommandLineParser&, CheckOptions&) {}
#endif
}  // namespace

CheckOptions parseCheckOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString(kDescription).arg(kSealFolder));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption profile("profile", "The owner profile (default: the window's, " +
                                     defaultProfileFolder() + ").", "dir");
    const QCommandLineOption camera("camera", "A video file that stands in for the camera (default: "
                                    "VISAGIO_CAMERA, else camera device 0).", "file");
    const QCommandLineOption timeout("timeout", QString("Seconds from the start, loading included, before "
                                     "the answer is no (%1-%2, default %3).").arg(kMinTimeout).arg(kMaxTimeout)
                                     .arg(kDefaultTimeout), "s");
    const QCommandLineOption expectSeal("expect-seal", "Runs only when the files the check uses have this "
                                        "digest, as sudo visagio-check --seal recorded it.", "sha256");
    const QCommandLineOption seal("seal", "Seals your profile for logins that run as root (under sudo).");
    const QCommandLineOption unseal("unseal", "Removes your sealed profile (under sudo).");
    parser.addOptions({profile, camera, timeout, expectSeal, seal, unseal});
    addTestOptions(parser);
    if (!parser.parse(arguments))
        failWithUsage(parser, parser.errorText());
    if (parser.isSet("help"))
        parser.showHelp(0);
    if (parser.isSet("version"))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        failWithUsage(parser, "takes no arguments, only options");
    CheckOptions options;
    if (parser.isSet(seal) || parser.isSet(unseal)) {
        requireSealAlone(parser, {"profile", "camera", "timeout", "expect-seal"});
        options.mode = parser.isSet(seal) ? CheckOptions::Mode::Seal : CheckOptions::Mode::Unseal;
    }
    readTestOptions(parser, options);
    if (parser.isSet(expectSeal) && !isDigest(options.expectedSeal = parser.value(expectSeal)))
        failWithUsage(parser, "--expect-seal takes the 64 lower-case hex digits of a SHA-256");
    if (parser.isSet(timeout) && (options.timeoutSeconds = timeoutValue(parser.value(timeout))) == 0)
        failWithUsage(parser, QString("--timeout takes whole seconds from %1 to %2").arg(kMinTimeout).arg(kMaxTimeout));
    options.profileDir = parser.isSet(profile) ? absolute(parser.value(profile)) : defaultProfileFolder();
    options.cameraFile = absolute(parser.value(camera));
    return options;
}
