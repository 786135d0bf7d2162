// Everything the check's start needs, gathered before the fork: after it only async-signal-safe
// calls may run, so no look-up, allocation or formatting happens there.
#pragma once

#include "options.h"
#include "seal.h"
#include "target.h"

struct vg_launch {
    char check[PATH_MAX];
    char profile[PATH_MAX];
    char timeout[8];
    char seal[VG_SHA256_HEX + 1];
    char home_env[PATH_MAX + 8];
    char user_env[64];
    char *argv[12];
    char *envp[4];
    int drop;                 // root path: become the check user before the exec
    uid_t uid;
    gid_t gid;
    gid_t *groups;            // the check user's groups (getgrouplist), malloc'ed
    int group_count;
};

// Ensures: PAM_SUCCESS with *launch ready: argv
//          "visagio-check --profile P --timeout S --expect-seal SHA256" (test build: plus
//          "--camera FILE"), envp HOME, USER and PATH=/usr/bin:/bin of the account the check
//          runs as (root path: the check user on seal_dir/NAME; locker path: the target,
//          unchanged, on its home profile). PAM_SYSTEM_ERR when the check user is missing or
//          its groups cannot be read. Release with vg_release_launch either way.
int vg_prepare_launch(pam_handle_t *pamh, const struct vg_options *options,
                      const struct vg_target *target, enum vg_path path,
                      const char *seal, struct vg_launch *launch);

void vg_release_launch(struct vg_launch *launch);
