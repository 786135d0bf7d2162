#include "seal.h"

#include <security/pam_ext.h>

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

// A well-formed seal line is under 100 bytes; anything much longer is not one.
enum { kMaxSealBytes = 256 };

static uid_t seal_owner(const struct vg_options *options)
{
#ifdef VISAGIO_PAM_TESTING
    struct stat folder;
    if (stat(options->seal_dir, &folder) == 0)
        return folder.st_uid;
    return (uid_t)-1;
#else
    (void)options;
    return 0;
#endif
}

static int is_lower_hex(const char *text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return 0;
    }
    return 1;
}

// Ensures: 0 when line (without its newline) is "visagio-seal 1 UID SHA256" for uid.
static int parse_seal_line(const char *line, uid_t uid, char *sha256)
{
    char expected[64];
    snprintf(expected, sizeof expected, "visagio-seal 1 %lu ", (unsigned long)uid);
    size_t prefix = strlen(expected);
    if (strncmp(line, expected, prefix) != 0 || strlen(line) != prefix + VG_SHA256_HEX
        || !is_lower_hex(line + prefix, VG_SHA256_HEX))
        return -1;
    memcpy(sha256, line + prefix, VG_SHA256_HEX);
    sha256[VG_SHA256_HEX] = '\0';
    return 0;
}

// Reads the whole file from fd into text (NUL-terminated); -1 when it does not fit.
static ssize_t read_small(int fd, char *text, size_t capacity)
{
    size_t used = 0;
    for (;;) {
        ssize_t got = read(fd, text + used, capacity - 1 - used);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        used += (size_t)got;
        if (used == capacity - 1)
            return -1;
    }
    text[used] = '\0';
    return (ssize_t)used;
}

int vg_read_seal(pam_handle_t *pamh, const struct vg_options *options,
                 const struct vg_target *target, char sha256[VG_SHA256_HEX + 1])
{
    char path[PATH_MAX];
    if (snprintf(path, sizeof path, "%s/%s.seal", options->seal_dir, target->name)
        >= (int)sizeof path)
        return PAM_AUTHINFO_UNAVAIL;
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        pam_syslog(pamh, LOG_NOTICE, "no seal for %s", target->name);
        return PAM_AUTHINFO_UNAVAIL;
    }
    struct stat info;
    char text[kMaxSealBytes + 1];
    int ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == seal_owner(options)
        && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 && info.st_nlink == 1
        && info.st_size <= kMaxSealBytes;
    ssize_t length = ok ? read_small(fd, text, sizeof text) : -1;
    close(fd);
    ok = length > 0 && strlen(text) == (size_t)length;
    if (ok) {
        if (text[length - 1] == '\n')
            text[length - 1] = '\0';
        ok = strchr(text, '\n') == NULL && parse_seal_line(text, target->uid, sha256) == 0;
    }
    if (!ok) {
        pam_syslog(pamh, LOG_WARNING, "seal of %s refused: not root's, writable by others or "
                   "malformed", target->name);
        return PAM_AUTHINFO_UNAVAIL;
    }
    return PAM_SUCCESS;
}
