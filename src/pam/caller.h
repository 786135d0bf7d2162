// Who is asking: root for the account, or the account itself.
#pragma once

#include "target.h"

// Ensures: the path the process's ids point to: VG_ROOT_PATH when euid is 0, else
//          VG_LOCKER_PATH (vg_check_caller decides whether the caller may use it).
enum vg_path vg_caller_path(void);

// Ensures: PAM_SUCCESS when, on the root path, getuid() is 0 or the target's uid and
//          PAM_RUSER is unset, empty or the target's name; on the locker path, euid and ruid
//          are the target's. Else PAM_AUTHINFO_UNAVAIL: one user asking for another account
//          never meets that account's owner's face.
int vg_check_caller(pam_handle_t *pamh, const struct vg_target *target, enum vg_path path);
