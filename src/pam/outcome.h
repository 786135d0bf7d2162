// What the check's end means for PAM and for the attempt count.
#pragma once

#include "report.h"
#include "tries.h"

// Ensures: PAM_SUCCESS only for exit 0 with a line starting "yes: "; PAM_AUTH_ERR for exit 1,
//          a timeout or a signal; PAM_AUTHINFO_UNAVAIL for exit 3; PAM_SYSTEM_ERR for all else
//          (no report, exit 0 without "yes: ", exit 2 or another status, a failed drop or
//          fork). *end: accepted for the success, forgotten for exit 2 and 3, else counted.
int vg_outcome(const struct vg_report *report, enum vg_attempt_end *end);

// Ensures: out (VG_REPORT_LINE_MAX + 1 bytes) holds text with every byte outside printable
//          ASCII replaced by '?', so a check's line cannot forge log lines.
void vg_printable(const char *text, char *out);

// Ensures: buffer holds a few words for the log on how the check ended; returns buffer.
const char *vg_report_text(const struct vg_report *report, char *buffer, size_t size);
