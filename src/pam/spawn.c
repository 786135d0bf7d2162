#include "spawn.h"

#include "clock.h"
#include "intermediate.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <sys/pidfd.h>
#include <sys/wait.h>
#include <unistd.h>

enum {
    kKillAfterMs = 250,       // past the check's own timeout, the intermediate kills it
    kReportByMs = 500,        // and reports by then
    kReadUntilMs = 1000,      // the module waits this long past the timeout for the report
    kReapWaitMs = 100,        // and then this long for the killed intermediate to end
};

// Moves fd above 0-2: the children put /dev/null and the pipe there by dup2.
static int above_stdio(int fd)
{
    if (fd < 0 || fd > 2)
        return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return moved;
}

static void close_all(const int *fds, int count)
{
    for (int i = 0; i < count; ++i)
        if (fds[i] >= 0)
            close(fds[i]);
}

// Reads the report until EOF or the deadline; a signal to the host only restarts the wait.
static void read_report(int fd, int64_t deadline_ms, struct vg_report *report)
{
    char message[2 + VG_REPORT_LINE_MAX];
    size_t used = 0;
    for (;;) {
        struct pollfd wait_for = {fd, POLLIN, 0};
        int wait_ms = vg_ms_until(deadline_ms);
        if (wait_ms == 0 || (poll(&wait_for, 1, wait_ms) < 0 && errno != EINTR))
            break;
        if (wait_for.revents == 0)
            continue;
        ssize_t got = read(fd, message + used, sizeof message - used);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        used += (size_t)got;
        if (used == sizeof message)
            break;
    }
    memset(report, 0, sizeof *report);
    if (used < 2)
        return;
    report->received = 1;
    report->kind = message[0];
    report->value = (unsigned char)message[1];
    memcpy(report->line, message + 2, used - 2);
}

// Kills the intermediate by its pidfd and reaps it by the same pidfd, so a pid the host has
// already reaped (and the system reused) is never touched.
static void end_intermediate(int pidfd)
{
    pidfd_send_signal(pidfd, SIGKILL, NULL, 0);
    struct pollfd ended = {pidfd, POLLIN, 0};
    int64_t deadline = vg_now_ms() + kReapWaitMs;
    while (poll(&ended, 1, vg_ms_until(deadline)) < 0 && errno == EINTR)
        ;
    siginfo_t info;
    memset(&info, 0, sizeof info);
    waitid((idtype_t)P_PIDFD, (id_t)pidfd, &info, WEXITED | WNOHANG);
}

int vg_spawn_check(const struct vg_launch *launch, int timeout, struct vg_report *report)
{
    int fds[5] = {-1, -1, -1, -1, -1};    // /dev/null, result read/write, output read/write
    fds[0] = above_stdio(open("/dev/null", O_RDWR | O_CLOEXEC));
    int result_pipe[2] = {-1, -1};
    int output_pipe[2] = {-1, -1};
    if (pipe2(result_pipe, O_CLOEXEC) == 0 && pipe2(output_pipe, O_CLOEXEC) == 0) {
        fds[1] = above_stdio(result_pipe[0]);
        fds[2] = above_stdio(result_pipe[1]);
        fds[3] = above_stdio(output_pipe[0]);
        fds[4] = above_stdio(output_pipe[1]);
    } else {
        close_all(result_pipe, 2);
    }
    for (int i = 0; i < 5; ++i)
        if (fds[i] < 0) {
            close_all(fds, 5);
            return -1;
        }
    int64_t fork_ms = vg_now_ms();
    struct vg_child_plan plan = {launch, fds[0], fds[2], fds[3], fds[4],
                                 fork_ms + timeout * 1000 + kKillAfterMs,
                                 fork_ms + timeout * 1000 + kReportByMs};
    // _Fork: the child runs no atfork handler of the host and only async-signal-safe calls.
    // Signals stay blocked across it, so no handler of the host runs in the child before it
    // has reset them all.
    sigset_t all, host_mask;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &host_mask);
    pid_t child = _Fork();
    if (child == 0)
        vg_run_intermediate(&plan);
    pthread_sigmask(SIG_SETMASK, &host_mask, NULL);
    int pidfd = child > 0 ? pidfd_open(child, 0) : -1;
    close_all(fds, 1);
    close_all(fds + 2, 3);
    if (child > 0 && pidfd < 0) {
        // Just forked, not yet able to end: killing it by pid is safe here, and init may
        // inherit what it started.
        kill(child, SIGKILL);
    }
    if (pidfd < 0) {
        close(fds[1]);
        return -1;
    }
    read_report(fds[1], fork_ms + timeout * 1000 + kReadUntilMs, report);
    close(fds[1]);
    end_intermediate(pidfd);
    close(pidfd);
    return 0;
}
