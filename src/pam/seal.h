// USER.seal: the hash root recorded when the owner sealed the profile.
#pragma once

#include "options.h"
#include "target.h"

enum { VG_SHA256_HEX = 64 };

// Requires: target from vg_find_target.
// Ensures:  PAM_SUCCESS with sha256 (65 bytes) holding the seal's lowercase hex when
//           seal_dir/NAME.seal is a regular file of root (test build: of seal_dir's owner),
//           writable by its owner only, with one link and one line
//           "visagio-seal 1 UID SHA256" naming the target's uid; else PAM_AUTHINFO_UNAVAIL.
int vg_read_seal(pam_handle_t *pamh, const struct vg_options *options,
                 const struct vg_target *target, char sha256[VG_SHA256_HEX + 1]);
