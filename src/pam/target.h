// The account whose face is asked for (PAM_USER), and the two ways a request reaches it.
#pragma once

#include <security/pam_modules.h>

#include <limits.h>
#include <sys/types.h>

// Root path: a root program (sudo, su, polkit, a greeter) asks for the account; the check runs
// as the system user on the sealed copy. Locker path: the account's own program asks; the
// check runs as the account on its home profile.
enum vg_path { VG_ROOT_PATH, VG_LOCKER_PATH };

struct vg_target {
    uid_t uid;
    gid_t gid;
    char name[40];          // pw_name, checked by vg_is_safe_name
    char home[PATH_MAX];    // pw_dir
};

// Ensures: 1 when name is [a-z_][a-z0-9_.-]{0,31} with an optional final '$' and does not end
//          in ".seal" (so it is safe as a file name beside the seal files), else 0.
int vg_is_safe_name(const char *name);

// Ensures: PAM_SUCCESS with *target filled from getpwnam(PAM_USER); PAM_USER_UNKNOWN when
//          PAM_USER is unset, empty or not in passwd; PAM_IGNORE for uid 0;
//          PAM_AUTHINFO_UNAVAIL for a name or home that cannot be used in a path.
int vg_find_target(pam_handle_t *pamh, struct vg_target *target);
