// The count of recent face checks per user and path, so a camera cannot be tried forever.
#pragma once

#include "options.h"
#include "target.h"

#include <stdint.h>

// The attempt this call recorded: where, and its CLOCK_BOOTTIME second.
struct vg_attempt {
    char path[PATH_MAX];
    long long second;
};

enum vg_attempt_end {
    VG_ATTEMPT_COUNTED,     // the check said no, timed out, was killed or failed oddly
    VG_ATTEMPT_FORGOTTEN,   // the check could not run (exit 2 or 3): this attempt's line goes
    VG_ATTEMPT_ACCEPTED,    // the check said yes: every recorded attempt goes
};

// Ensures: PAM_SUCCESS after appending this attempt's line to the state file, when fewer
//          than 3 attempts were counted in the last 300 s; PAM_AUTHINFO_UNAVAIL when 3 were,
//          when the lock is not obtained within 0.5 s, when the locker path has no
//          state_dir/user/UID, or when the state file is not a regular file of this euid of
//          at most 4 KiB. Root path: state_dir/visagio/UID; locker: state_dir/user/UID/visagio-tries.
int vg_attempt_begin(pam_handle_t *pamh, const struct vg_options *options,
                     const struct vg_target *target, enum vg_path path,
                     struct vg_attempt *attempt);

// Requires: attempt from a successful vg_attempt_begin.
// Ensures:  the state file updated as end says (best effort: a failure, or the lock still
//           taken at 0.5 s or deadline_ms on CLOCK_MONOTONIC, is logged and leaves it counted).
void vg_attempt_end(pam_handle_t *pamh, const struct vg_attempt *attempt, enum vg_attempt_end end,
                    int64_t deadline_ms);
