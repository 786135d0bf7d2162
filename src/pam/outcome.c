#include "outcome.h"

#include <security/_pam_types.h>

#include <stdio.h>
#include <string.h>

enum {
    kExitNo = 1,
    kExitUsage = 2,
    kExitCannotRun = 3,
};

static int exit_outcome(const struct vg_report *report, enum vg_attempt_end *end)
{
    static const char kYes[] = "yes: ";
    switch (report->value) {
    case 0:
        if (strncmp(report->line, kYes, sizeof kYes - 1) != 0)
            return PAM_SYSTEM_ERR;
        *end = VG_ATTEMPT_ACCEPTED;
        return PAM_SUCCESS;
    case kExitNo:
        return PAM_AUTH_ERR;
    case kExitUsage:
        *end = VG_ATTEMPT_FORGOTTEN;
        return PAM_SYSTEM_ERR;
    case kExitCannotRun:
        *end = VG_ATTEMPT_FORGOTTEN;
        return PAM_AUTHINFO_UNAVAIL;
    default:
        return PAM_SYSTEM_ERR;
    }
}

int vg_outcome(const struct vg_report *report, enum vg_attempt_end *end)
{
    int result = PAM_SYSTEM_ERR;
    *end = VG_ATTEMPT_COUNTED;
    if (!report->received)
        return result;
    switch (report->kind) {
    case VG_REPORT_EXITED:
        result = exit_outcome(report, end);
        break;
    case VG_REPORT_SIGNALLED:
    case VG_REPORT_TIMED_OUT:
        result = PAM_AUTH_ERR;
        break;
    default:
        break;
    }
    return result;
}

void vg_printable(const char *text, char *out)
{
    size_t i = 0;
    for (; i < VG_REPORT_LINE_MAX && text[i] != '\0'; ++i)
        out[i] = text[i] >= 0x20 && text[i] < 0x7f ? text[i] : '?';
    out[i] = '\0';
}

const char *vg_report_text(const struct vg_report *report, char *buffer, size_t size)
{
    if (!report->received)
        snprintf(buffer, size, "no report");
    else if (report->kind == VG_REPORT_EXITED)
        snprintf(buffer, size, "exit %d", report->value);
    else if (report->kind == VG_REPORT_SIGNALLED)
        snprintf(buffer, size, "signal %d", report->value);
    else if (report->kind == VG_REPORT_TIMED_OUT)
        snprintf(buffer, size, "timed out");
    else if (report->kind == VG_REPORT_DROP_FAILED)
        snprintf(buffer, size, "set-up or drop failed (errno %d)", report->value);
    else
        snprintf(buffer, size, "fork failed (errno %d)", report->value);
    return buffer;
}
