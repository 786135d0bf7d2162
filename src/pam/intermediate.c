#include "intermediate.h"

#include "clock.h"
#include "report.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/pidfd.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

enum {
    kCheckFileLimit = 1024,
    kWaitStepMs = 10,         // waitpid polling where pidfd_open is not available
};

// close_range, or one close at a time where the kernel or a seccomp filter refuses it.
static void close_between(unsigned int first, unsigned int last)
{
    if (first > last)
        return;
    if (close_range(first, last, 0) == 0 || (errno != ENOSYS && errno != EPERM))
        return;
    struct rlimit files;
    unsigned int top = getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 1u << 20
        ? (unsigned int)files.rlim_cur : 1u << 16;
    for (unsigned int fd = first; fd <= last && fd < top; ++fd)
        close((int)fd);
}

// Closes every descriptor but the plan's pipes and /dev/null.
static void close_others(const struct vg_child_plan *plan)
{
    int keep[4] = {plan->dev_null, plan->result_write, plan->output_read, plan->output_write};
    for (int i = 1; i < 4; ++i)
        for (int j = i; j > 0 && keep[j - 1] > keep[j]; --j) {
            int swap = keep[j];
            keep[j] = keep[j - 1];
            keep[j - 1] = swap;
        }
    unsigned int from = 0;
    for (int i = 0; i < 4; ++i) {
        if (keep[i] > 0)
            close_between(from, (unsigned int)keep[i] - 1);
        from = (unsigned int)keep[i] + 1;
    }
    close_between(from, ~0U);
}

static void reset_signals(void)
{
    struct sigaction fallback = {0};
    fallback.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        if (sig != SIGKILL && sig != SIGSTOP)
            sigaction(sig, &fallback, NULL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, NULL);
}

static int set_limit(int resource, rlim_t value)
{
    struct rlimit limit = {value, value};
    return setrlimit(resource, &limit);
}

// Root path: no way back to privileges, fixed limits, then the check user's ids.
static int drop_privileges(const struct vg_launch *launch)
{
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
        && prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) == 0
        && prctl(PR_SET_SECUREBITS, 0, 0, 0, 0) == 0
        && set_limit(RLIMIT_NOFILE, kCheckFileLimit) == 0 && set_limit(RLIMIT_CORE, 0) == 0
        && set_limit(RLIMIT_AS, RLIM_INFINITY) == 0 && set_limit(RLIMIT_DATA, RLIM_INFINITY) == 0
        && set_limit(RLIMIT_STACK, RLIM_INFINITY) == 0
        && setgroups((size_t)launch->group_count, launch->groups) == 0
        && setresgid(launch->gid, launch->gid, launch->gid) == 0
        && setresuid(launch->uid, launch->uid, launch->uid) == 0;
}

_Noreturn static void report(const struct vg_child_plan *plan, char kind, int value,
                             const char *line, size_t length)
{
    char message[2 + VG_REPORT_LINE_MAX];
    message[0] = kind;
    message[1] = (char)(unsigned char)value;
    for (size_t i = 0; i < length; ++i)
        message[2 + i] = line[i];
    size_t done = 0;
    while (done < 2 + length) {
        ssize_t put = write(plan->result_write, message + done, 2 + length - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += (size_t)put;
    }
    _exit(0);
}

_Noreturn static void run_check(const struct vg_child_plan *plan)
{
    setpgid(0, 0);
    if (dup2(plan->dev_null, 0) < 0 || dup2(plan->output_write, 1) < 0
        || dup2(plan->dev_null, 2) < 0)
        _exit(127);
    close_between(3, ~0U);
    if (chdir("/") != 0)
        _exit(127);
    execve(plan->launch->check, plan->launch->argv, plan->launch->envp);
    _exit(127);
}

// The check's first line, up to 200 bytes; the rest of its output is read and dropped so a
// chatty check never blocks on a full pipe. Returns 0 once the pipe is closed.
struct first_line {
    char text[VG_REPORT_LINE_MAX];
    size_t length;
    int complete;
};

static int collect(int fd, struct first_line *line)
{
    char chunk[512];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno == EAGAIN;
        if (got == 0)
            return 0;
        for (ssize_t i = 0; i < got && !line->complete; ++i) {
            if (chunk[i] == '\n' || line->length == VG_REPORT_LINE_MAX)
                line->complete = 1;
            else
                line->text[line->length++] = chunk[i];
        }
    }
}

// Waits for the check to end, reading its output, until the plan's kill time.
// Returns 1 with *status when it ended, 0 at the deadline.
static int wait_check(const struct vg_child_plan *plan, pid_t check, int pidfd,
                      struct first_line *line, int *status)
{
    int output_open = 1;
    for (;;) {
        int wait_ms = vg_ms_until(plan->kill_at_ms);
        if (wait_ms == 0)
            return 0;
        if (pidfd < 0 && wait_ms > kWaitStepMs)
            wait_ms = kWaitStepMs;
        struct pollfd fds[2] = {{output_open ? plan->output_read : -1, POLLIN, 0},
                                {pidfd, POLLIN, 0}};
        if (poll(fds, 2, wait_ms) < 0 && errno != EINTR)
            return 0;
        if (output_open && fds[0].revents != 0)
            output_open = collect(plan->output_read, line);
        if ((pidfd < 0 || fds[1].revents != 0) && waitpid(check, status, WNOHANG) == check) {
            collect(plan->output_read, line);
            return 1;
        }
    }
}

// After SIGKILL the check is reaped if it dies by the report time; one stuck in the kernel
// is left to init.
static void reap_until(const struct vg_child_plan *plan, pid_t check, int pidfd)
{
    int status;
    while (waitpid(check, &status, WNOHANG) == 0) {
        int wait_ms = vg_ms_until(plan->report_by_ms);
        if (wait_ms == 0)
            return;
        struct pollfd fd = {pidfd, POLLIN, 0};
        poll(&fd, pidfd >= 0 ? 1 : 0, wait_ms < kWaitStepMs ? wait_ms : kWaitStepMs);
    }
}

_Noreturn void vg_run_intermediate(const struct vg_child_plan *plan)
{
    close_others(plan);
    reset_signals();
    setsid();
    if (plan->launch->drop && !drop_privileges(plan->launch))
        report(plan, VG_REPORT_DROP_FAILED, errno, NULL, 0);
    pid_t check = _Fork();
    if (check < 0)
        report(plan, VG_REPORT_FORK_FAILED, errno, NULL, 0);
    if (check == 0)
        run_check(plan);
    setpgid(check, check);
    close(plan->output_write);
    fcntl(plan->output_read, F_SETFL, O_NONBLOCK);
    int pidfd = pidfd_open(check, 0);
    struct first_line line = {{0}, 0, 0};
    int status = 0;
    int ended = wait_check(plan, check, pidfd, &line, &status);
    // The whole group goes: a child the check left holding its output must not outlive it.
    kill(-check, SIGKILL);
    if (!ended) {
        reap_until(plan, check, pidfd);
        report(plan, VG_REPORT_TIMED_OUT, 0, line.text, line.length);
    }
    if (WIFSIGNALED(status))
        report(plan, VG_REPORT_SIGNALLED, WTERMSIG(status), line.text, line.length);
    report(plan, VG_REPORT_EXITED, WEXITSTATUS(status), line.text, line.length);
}
