// The command lines of the program and the tools, run as built: --help and --version answer
// with exit code 0 (the program without a display), usage errors end with a non-zero exit code
// and a message on standard error that names the fault; the program makes paths absolute.
#include "ModelFiles.h"
#include "StartOptions.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
constexpr int kTimeoutMs = 60000;

struct Outcome { int exitCode = -1; QString out; QString err; };

// Runs a built program in an empty folder (a tool that wrongly went ahead finds no data) where
// no display can be reached: were a window made, Qt would abort.
Outcome runProgram(const QString& path, const QStringList& arguments)
{
    QTemporaryDir folder;
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "xcb");
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(folder.path());
    program.start(path, arguments);
    Outcome outcome;
    if (!program.waitForFinished(kTimeoutMs) || program.exitStatus() != QProcess::NormalExit)
        return outcome;
    outcome.exitCode = program.exitCode();
    outcome.out = QString::fromUtf8(program.readAllStandardOutput());
    outcome.err = QString::fromUtf8(program.readAllStandardError());
    return outcome;
}
}  // namespace

TEST(CommandLineTest, HelpVersionAndUsageErrorsNeedNoDisplay)
{
    const Outcome help = runProgram(VISAGIO_PROGRAM, {"--help"});
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    for (const char* option : {"--profile <dir>", "--camera <file>", "--lang <language>", "--features <model>", "--liveness <on|off>", "--version",
                               "[videos]"})
        EXPECT_TRUE(help.out.contains(option)) << option << "\n" << help.out.toStdString();

    const Outcome version = runProgram(VISAGIO_PROGRAM, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QString("visagio %1\n").arg(VISAGIO_VERSION));

    const std::vector<std::pair<QStringList, QString>> wrong = {
        {{"--frobnicate"}, "Unknown option 'frobnicate'"},
        {{"--profile"}, "Missing value after '--profile'"},
        {{"videos", "more-videos"}, "only one video folder"},
        {{"--lang", "fr"}, "--lang takes ru or en"},
        {{"--features", "eigenfaces"}, "--features takes grbm or resnet"},
        {{"--liveness", "yes"}, "--liveness takes on or off"},
    };
    for (const auto& run : wrong) {
        SCOPED_TRACE(run.first.join(' ').toStdString());
        const Outcome outcome = runProgram(VISAGIO_PROGRAM, run.first);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_TRUE(outcome.err.contains(run.second)) << outcome.err.toStdString();
        EXPECT_TRUE(outcome.err.contains("Usage: ")) << outcome.err.toStdString();
        EXPECT_TRUE(outcome.out.isEmpty());
    }
}

TEST(CommandLineTest, RelativePathsAreMadeAbsoluteAtStartUp)
{
    QTemporaryDir temp;
    const ScopedWorkingDirectory inTemp(temp.path());
    const StartOptions options =
        parseStartOptions({"visagio", "--camera", "stand-in.avi", "--profile", "me/profile", "videos"});
    const QString here = QDir::currentPath();
    EXPECT_EQ(options.cameraFile, here + "/stand-in.avi");
    EXPECT_EQ(options.profileDir, here + "/me/profile");
    EXPECT_EQ(options.videoDir, here + "/videos");
}

TEST(CommandLineTest, ToolsAnswerHelpAndNameEachUsageError)
{
    struct Call { const char* program; QStringList arguments; const char* message; };
    const Call calls[] = {
        {VISAGIO_FACEDATA_PREP, {"--help"}, "usage: facedata-prep"},
        {VISAGIO_FACEDATA_PREP, {}, "usage: facedata-prep"},
        {VISAGIO_FACEDATA_PREP, {"samples", "--frobnicate", "1"}, "unknown option --frobnicate"},
        {VISAGIO_FACEDATA_PREP, {"samples", "--out", "x.samples"}, "--set is required"},
        {VISAGIO_FACEDATA_PREP, {"shuffle"}, "unknown mode: shuffle"},
        {VISAGIO_GRBM_TRAIN, {"--help"}, "usage: grbm-train"},
        {VISAGIO_GRBM_TRAIN, {}, "usage: grbm-train"},
        {VISAGIO_GRBM_TRAIN, {"train", "--frobnicate", "1"}, "unknown option --frobnicate"},
        {VISAGIO_GRBM_TRAIN, {"train", "--calibration-sequences", "s", "--calibration-photos", "p"}, "--train is required"},
        {VISAGIO_GRBM_TRAIN, {"evaluate", "--photos", "p"}, "--model is required"},
        {VISAGIO_VISAGIO_EVAL, {"--help"}, "usage: visagio-eval"},
        {VISAGIO_VISAGIO_EVAL, {"--frobnicate", "1"}, "unknown option --frobnicate"},
        {VISAGIO_VISAGIO_EVAL, {"--set"}, "missing value for --set"},
        {VISAGIO_VISAGIO_EVAL, {"--set", "no-such-set"}, "unknown face set: no-such-set"}};
    for (const Call& call : calls) {
        SCOPED_TRACE(QString("%1 %2").arg(QFileInfo(call.program).fileName(), call.arguments.join(' ')).toStdString());
        const Outcome outcome = runProgram(call.program, call.arguments);
        // Help answers on standard output with 0; everything else is a usage error.
        const bool help = call.arguments == QStringList{"--help"};
        EXPECT_EQ(outcome.exitCode == 0, help) << outcome.exitCode << " " << outcome.err.toStdString();
        EXPECT_TRUE((help ? outcome.out : outcome.err).contains(call.message)) << outcome.err.toStdString();
    }
}
