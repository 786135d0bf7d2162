// Where a request comes from: a local console or a screen of this machine, or not.
#pragma once

#include "options.h"
#include "target.h"

// Requires: path is the one the caller's ids point to (see vg_caller_path).
// Ensures:  PAM_SUCCESS when the request is local for that path: on the root path PAM_RHOST
//           unset or empty and PAM_SERVICE in the list; on the locker path PAM_RHOST unset,
//           empty, localhost, this host's name or a loopback address (never resolved); on
//           both no SSH variable and no remote logind session. Else PAM_IGNORE.
int vg_check_origin(pam_handle_t *pamh, const struct vg_options *options, enum vg_path path);
