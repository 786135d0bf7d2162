#include "CheckOptions.h"
#include "CheckRun.h"
#include "DataFolder.h"
#include "SealCommand.h"
#include "Webcam.h"

#include <QCoreApplication>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>

// visagio-check [--profile DIR] [--camera FILE] [--timeout S] [--expect-seal SHA256]: whether
// the face before the camera is the owner's, answered by the exit status and one line on
// standard output (see --help). No display, no window: a login or a lock screen runs it.
// sudo visagio-check --seal | --unseal: the copy of the profile that logins run as root use.
#ifdef VISAGIO_CHECK_TESTING
// Marks a build that takes test options; packaging proves no installed file holds it.
extern "C" __attribute__((used)) const char visagioTestBuildMarker[] = "VISAGIO-TEST-BUILD";
#endif

namespace {
constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// A login that gives up on the check must not wait for it, nor get an answer from it: the
// check dies by the signal at once, whatever it is doing, with nothing on standard output.
// Ending the process closes the camera; the default action is restored first, so that the
// caller sees death by that signal.
void stopNow(int signal)
{
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Signals a caller ignored or blocked would otherwise be inherited as such.
void dieBySignals()
{
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : kStopSignals) {
        std::signal(signal, stopNow);
        sigaddset(&stops, signal);
    }
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);
}

int answer(const CheckAnswer& result)
{
    const std::string line = answerLine(result.line) + "\n";
    const bool written = std::fputs(line.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
    // A yes that did not reach the caller is no yes.
    return written || result.status != kOwner ? result.status : kNotOwner;
}

// The seal's lines, or its one "cannot run" line.
int sealAnswer(const CheckOptions& options)
{
    try {
        const std::vector<std::string> lines = options.mode == CheckOptions::Mode::Seal
                                                   ? sealProfile(options, QCoreApplication::applicationDirPath())
                                                   : unsealProfile(options);
        for (const std::string& line : lines)
            std::fputs((line + "\n").c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : kCannotRun;
    } catch (const std::exception& error) {
        return answer({kCannotRun, std::string("cannot run: ") + error.what()});
    }
}
}  // namespace

int main(int argc, char* argv[])
{
    const auto start = std::chrono::steady_clock::now();
    dieBySignals();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("visagio-check");
    QCoreApplication::setApplicationVersion(VISAGIO_VERSION);
    const CheckOptions options = parseCheckOptions(QCoreApplication::arguments());
    if (options.mode != CheckOptions::Mode::Check)
        return sealAnswer(options);
    if (!options.cameraFile.isEmpty())
        qputenv(Webcam::kStandInVariable, options.cameraFile.toLocal8Bit());
    enterDataFolder(VISAGIO_DATA_FOLDER, QCoreApplication::applicationDirPath());
    try {
        return answer(runCheck(options, start));
    } catch (const CannotRun& reason) {
        return answer({kCannotRun, std::string("cannot run: ") + reason.what()});
    } catch (const std::exception& error) {
        return answer({kCannotRun, std::string("cannot run: ") + error.what()});
    }
}
