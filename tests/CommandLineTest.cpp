// The program's command line: --help, --version and usage errors answer without a display,
// and paths are made absolute.
#include "ModelFiles.h"
#include "StartOptions.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
constexpr int kTimeoutMs = 30000;

struct Outcome { int exitCode = -1; QString out; QString err; };

// Runs the built program where no display can be reached: were a window made, Qt would abort.
Outcome runProgram(const QStringList& arguments)
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "xcb");
    program.setProcessEnvironment(environment);
    program.start(VISAGIO_PROGRAM, arguments);
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
    const Outcome help = runProgram({"--help"});
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    for (const char* option : {"--profile <dir>", "--camera <file>", "--lang <language>", "--version", "[videos]"})
        EXPECT_TRUE(help.out.contains(option)) << option << "\n" << help.out.toStdString();

    const Outcome version = runProgram({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QString("visagio %1\n").arg(VISAGIO_VERSION));

    const std::vector<std::pair<QStringList, QString>> wrong = {
        {{"--frobnicate"}, "Unknown option 'frobnicate'"},
        {{"--profile"}, "Missing value after '--profile'"},
        {{"videos", "more-videos"}, "only one video folder"},
        {{"--lang", "fr"}, "--lang takes ru or en"},
    };
    for (const auto& run : wrong) {
        SCOPED_TRACE(run.first.join(' ').toStdString());
        const Outcome outcome = runProgram(run.first);
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
