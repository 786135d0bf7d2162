#include "CappedRun.h"

#include <QDataStream>
#include <QFile>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define VISAGIO_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VISAGIO_UNDER_ASAN 1
#endif
#endif
#ifndef VISAGIO_UNDER_ASAN
#define VISAGIO_UNDER_ASAN 0
#endif

namespace {

QByteArray serialise(const CappedOutcome& outcome)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << QByteArray::fromStdString(outcome.error) << QByteArray::fromStdString(outcome.printed)
        << outcome.foreignCount << outcome.finite << outcome.digest << outcome.peakGrowth;
    return bytes;
}

CappedOutcome parse(const QByteArray& bytes)
{
    CappedOutcome outcome;
    QByteArray error, printed;
    QDataStream in(bytes);
    in >> error >> printed >> outcome.foreignCount >> outcome.finite >> outcome.digest
        >> outcome.peakGrowth;
    outcome.error = error.toStdString();
    outcome.printed = printed.toStdString();
    return outcome;
}

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM").
qint64 statusBytes(const char* field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(QByteArray(field) + ":"))
            return line.mid(int(qstrlen(field)) + 1).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

void capAddressSpace(long growth)
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return;
    const long used = statm.readAll().split(' ').value(0).toLong() * sysconf(_SC_PAGESIZE);
    rlimit cap{};
    getrlimit(RLIMIT_AS, &cap);
    cap.rlim_cur = rlim_t(used + growth);
    setrlimit(RLIMIT_AS, &cap);
}

// Restarts the peak of the resident memory from the present size.
bool resetResidentPeak()
{
    QFile clear("/proc/self/clear_refs");
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

} // namespace

bool underAddressSanitizer()
{
    return VISAGIO_UNDER_ASAN;
}

CappedOutcome runCapped(const std::function<CappedOutcome()>& action, long addressSpaceCap)
{
    if (underAddressSanitizer())
        return action();
    int fds[2];
    if (pipe(fds) != 0)
        return {"pipe failed"};
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(fds[0]);
        capAddressSpace(addressSpaceCap);
        const bool measured = resetResidentPeak();
        const qint64 start = statusBytes("VmRSS");
        CappedOutcome outcome;
        try {
            outcome = action();
        } catch (const std::bad_alloc&) {
            outcome = CappedOutcome("out of memory");
        }
        outcome.peakGrowth = measured ? statusBytes("VmHWM") - start : -1;
        QFile pipeEnd;
        pipeEnd.open(fds[1], QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
        pipeEnd.write(serialise(outcome));
        pipeEnd.close();
        std::fflush(stdout);
        _exit(0);
    }
    ::close(fds[1]);
    QFile pipeEnd;
    pipeEnd.open(fds[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    const QByteArray bytes = pipeEnd.readAll();
    pipeEnd.close();
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status))
        return {"crashed with signal " + std::to_string(WTERMSIG(status))};
    if (bytes.isEmpty())
        return {"no outcome"};
    return parse(bytes);
}
