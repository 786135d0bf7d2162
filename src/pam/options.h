// The module's arguments from the PAM configuration line.
#pragma once

#include <security/pam_modules.h>

// Folders and programs the module uses; the test build can move each of them.
struct vg_options {
    int timeout;              // seconds the check may look, 1-30
    const char *services;     // comma-separated root-path services, NULL for the built-in list
    const char *check;        // the check program
    const char *check_user;   // the account the root path runs the check as
    const char *camera;       // test build: a video file the check reads instead of the webcam
    const char *profile;      // test build: the locker path's profile folder
    const char *seal_dir;     // folder of USER.seal and the sealed copies
    const char *state_dir;    // /run: root path state under visagio/, locker under user/UID/
};

// Requires: argv holds argc strings (the configuration line's arguments).
// Ensures:  returns 0 with *options filled (defaults for what is not given), or -1 after
//           logging the first argument that is unknown or out of range.
int vg_parse_options(pam_handle_t *pamh, int argc, const char **argv, struct vg_options *options);
