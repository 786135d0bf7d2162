#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <string>
#include <sys/types.h>

// visagio-check as a caller runs it: a child process whose standard output and error go to
// files (a long debug log never blocks it), with its exit status or the signal that ended it.
struct CheckResult
{
    int status = -1;  // the exit status; -1 when a signal ended it
    int signal = 0;   // the signal that ended it; 0 for a normal exit
    std::string out;  // standard output
    std::string err;  // standard error
    double seconds = 0.0;

    // The one line of standard output without its newline.
    std::string line() const;
};

class CheckProcess
{
public:
    // Starts the built visagio-check with `arguments`, reading its data from the run folder.
    // `environment` entries "NAME=value" are added or replace the test's own; "NAME" alone
    // removes NAME.
    explicit CheckProcess(const QStringList& arguments, const QStringList& environment = QStringList());
    ~CheckProcess();

    CheckProcess(const CheckProcess&) = delete;
    CheckProcess& operator=(const CheckProcess&) = delete;

    // True once the child has ended (never blocks).
    bool finished();
    // Waits for the end; the result of the run.
    CheckResult wait();
    void sendSignal(int signal);

private:
    void reap(int waitStatus);

    QTemporaryDir outputs;
    pid_t pid = -1;
    bool done = false;
    CheckResult result;
    std::chrono::steady_clock::time_point started;
};

// Runs the check to its end.
CheckResult runCheckProcess(const QStringList& arguments, const QStringList& environment = QStringList());
