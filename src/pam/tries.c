#include "tries.h"

#include "clock.h"

#include <security/pam_ext.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

enum {
    kMaxAttempts = 3,
    kWindowSeconds = 300,
    kMaxStateBytes = 4096,
    kLockWaitMs = 500,
    kLockRetryMs = 10,
};

// The recorded attempts of the file, oldest first.
struct attempt_list {
    long long seconds[kMaxStateBytes / 2];
    int count;
};

static long long boot_seconds(void)
{
    struct timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (long long)now.tv_sec;
}

static int fits(int written, size_t capacity)
{
    return written >= 0 && (size_t)written < capacity;
}

// Fills attempt->path; the root path makes its folder (root 0700) when tmpfiles.d has not.
static int state_path(const struct vg_options *options, const struct vg_target *target,
                      enum vg_path path, struct vg_attempt *attempt)
{
    char folder[PATH_MAX];
    struct stat info;
    if (path == VG_ROOT_PATH) {
        if (!fits(snprintf(folder, sizeof folder, "%s/visagio", options->state_dir), sizeof folder))
            return -1;
        if (mkdir(folder, 0700) != 0 && errno != EEXIST)
            return -1;
        if (lstat(folder, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid()
            || (info.st_mode & 077) != 0)
            return -1;
        return fits(snprintf(attempt->path, sizeof attempt->path, "%s/%lu", folder,
                             (unsigned long)target->uid), sizeof attempt->path) ? 0 : -1;
    }
    if (!fits(snprintf(folder, sizeof folder, "%s/user/%lu", options->state_dir,
                       (unsigned long)target->uid), sizeof folder)
        || stat(folder, &info) != 0 || !S_ISDIR(info.st_mode))
        return -1;
    return fits(snprintf(attempt->path, sizeof attempt->path, "%s/visagio-tries", folder),
                sizeof attempt->path) ? 0 : -1;
}

// Opens and locks the state file; -1 when it is not this euid's small regular file or the
// lock stays taken until deadline_ms (CLOCK_MONOTONIC).
static int open_locked(const char *path, int64_t deadline_ms)
{
    int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0)
        return -1;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()
        || info.st_size > kMaxStateBytes) {
        close(fd);
        return -1;
    }
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || vg_now_ms() >= deadline_ms) {
            close(fd);
            return -1;
        }
        struct timespec pause = {0, kLockRetryMs * 1000000L};
        nanosleep(&pause, NULL);
    }
    return fd;
}

// Reads the attempts of the last 300 s; lines that are not a plain number of this boot's
// seconds, and older ones, are dropped.
static int read_attempts(int fd, struct attempt_list *list)
{
    char text[kMaxStateBytes + 1];
    ssize_t length = pread(fd, text, kMaxStateBytes, 0);
    if (length < 0)
        return -1;
    text[length] = '\0';
    long long now = boot_seconds();
    list->count = 0;
    for (char *line = text, *next; line < text + length; line = next) {
        char *end = memchr(line, '\n', (size_t)(text + length - line));
        next = end ? end + 1 : text + length;
        if (end)
            *end = '\0';
        char *rest = NULL;
        errno = 0;
        long long second = strtoll(line, &rest, 10);
        if (line[0] < '0' || line[0] > '9' || *rest != '\0' || errno != 0)
            continue;
        if (second <= now && now - second < kWindowSeconds)
            list->seconds[list->count++] = second;
    }
    return 0;
}

static int write_attempts(int fd, const struct attempt_list *list)
{
    char text[kMaxStateBytes + 1];
    size_t used = 0;
    for (int i = 0; i < list->count && used + 24 < sizeof text; ++i)
        used += (size_t)snprintf(text + used, sizeof text - used, "%lld\n", list->seconds[i]);
    if (ftruncate(fd, 0) != 0 || pwrite(fd, text, used, 0) != (ssize_t)used)
        return -1;
    return 0;
}

int vg_attempt_begin(pam_handle_t *pamh, const struct vg_options *options,
                     const struct vg_target *target, enum vg_path path,
                     struct vg_attempt *attempt)
{
    struct attempt_list list;
    int fd = -1;
    if (state_path(options, target, path, attempt) != 0 || (fd = open_locked(attempt->path, vg_now_ms() + kLockWaitMs)) < 0
        || read_attempts(fd, &list) != 0) {
        pam_syslog(pamh, LOG_WARNING, "attempt count of %s unusable", target->name);
        if (fd >= 0)
            close(fd);
        return PAM_AUTHINFO_UNAVAIL;
    }
    if (list.count >= kMaxAttempts) {
        close(fd);
        pam_syslog(pamh, LOG_NOTICE, "%s: %d failed face checks within %d s, no check started",
                   target->name, kMaxAttempts, kWindowSeconds);
        return PAM_AUTHINFO_UNAVAIL;
    }
    attempt->second = boot_seconds();
    list.seconds[list.count++] = attempt->second;
    int written = write_attempts(fd, &list);
    close(fd);
    return written == 0 ? PAM_SUCCESS : PAM_AUTHINFO_UNAVAIL;
}

void vg_attempt_end(pam_handle_t *pamh, const struct vg_attempt *attempt, enum vg_attempt_end end,
                    int64_t deadline_ms)
{
    if (end == VG_ATTEMPT_COUNTED)
        return;
    struct attempt_list list;
    int64_t wait_until = vg_now_ms() + kLockWaitMs;
    int fd = open_locked(attempt->path, wait_until < deadline_ms ? wait_until : deadline_ms);
    int ok = fd >= 0 && read_attempts(fd, &list) == 0;
    if (ok && end == VG_ATTEMPT_ACCEPTED)
        list.count = 0;
    for (int i = 0; ok && end == VG_ATTEMPT_FORGOTTEN && i < list.count; ++i) {
        if (list.seconds[i] == attempt->second) {
            memmove(&list.seconds[i], &list.seconds[i + 1],
                    (size_t)(list.count - i - 1) * sizeof list.seconds[0]);
            --list.count;
            break;
        }
    }
    if (!ok || write_attempts(fd, &list) != 0)
        pam_syslog(pamh, LOG_WARNING, "attempt count not updated: %s", attempt->path);
    if (fd >= 0)
        close(fd);
}
