#include "launch.h"

#include <security/pam_ext.h>

#include <grp.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <syslog.h>

enum { kFirstGroupGuess = 64 };

static int fits(int written, size_t capacity)
{
    return written >= 0 && (size_t)written < capacity;
}

// The system user the root path runs the check as, with its groups.
static int find_check_user(pam_handle_t *pamh, const char *name, struct vg_launch *launch)
{
    const struct passwd *pw = getpwnam(name);
    if (pw == NULL || pw->pw_uid == 0) {
        pam_syslog(pamh, LOG_ERR, "no usable system user %s to run the check as", name);
        return -1;
    }
    launch->uid = pw->pw_uid;
    launch->gid = pw->pw_gid;
    if (!fits(snprintf(launch->home_env, sizeof launch->home_env, "HOME=%s", pw->pw_dir),
              sizeof launch->home_env)
        || !fits(snprintf(launch->user_env, sizeof launch->user_env, "USER=%s", pw->pw_name),
                 sizeof launch->user_env))
        return -1;
    int count = kFirstGroupGuess;
    launch->groups = malloc((size_t)count * sizeof(gid_t));
    if (launch->groups && getgrouplist(pw->pw_name, pw->pw_gid, launch->groups, &count) < 0) {
        gid_t *larger = realloc(launch->groups, (size_t)count * sizeof(gid_t));
        if (larger == NULL)
            return -1;
        launch->groups = larger;
        if (getgrouplist(pw->pw_name, pw->pw_gid, launch->groups, &count) < 0)
            return -1;
    }
    launch->group_count = count;
    return launch->groups ? 0 : -1;
}

static void fill_argv(const struct vg_options *options, struct vg_launch *launch)
{
    int n = 0;
    launch->argv[n++] = (char *)"visagio-check";
    launch->argv[n++] = (char *)"--profile";
    launch->argv[n++] = launch->profile;
    launch->argv[n++] = (char *)"--timeout";
    launch->argv[n++] = launch->timeout;
    launch->argv[n++] = (char *)"--expect-seal";
    launch->argv[n++] = launch->seal;
    if (options->camera != NULL) {
        launch->argv[n++] = (char *)"--camera";
        launch->argv[n++] = (char *)options->camera;
    }
    launch->argv[n] = NULL;
}

int vg_prepare_launch(pam_handle_t *pamh, const struct vg_options *options,
                      const struct vg_target *target, enum vg_path path,
                      const char *seal, struct vg_launch *launch)
{
    memset(launch, 0, sizeof *launch);
    int ok = fits(snprintf(launch->check, sizeof launch->check, "%s", options->check),
                  sizeof launch->check);
    snprintf(launch->timeout, sizeof launch->timeout, "%d", options->timeout);
    snprintf(launch->seal, sizeof launch->seal, "%s", seal);
    if (path == VG_ROOT_PATH) {
        launch->drop = 1;
        ok = ok && fits(snprintf(launch->profile, sizeof launch->profile, "%s/%s",
                                 options->seal_dir, target->name), sizeof launch->profile)
            && find_check_user(pamh, options->check_user, launch) == 0;
    } else {
        const char *profile = options->profile;
        ok = ok
            && (profile ? fits(snprintf(launch->profile, sizeof launch->profile, "%s", profile),
                               sizeof launch->profile)
                        : fits(snprintf(launch->profile, sizeof launch->profile,
                                        "%s/.local/share/visagio", target->home),
                               sizeof launch->profile))
            && fits(snprintf(launch->home_env, sizeof launch->home_env, "HOME=%s", target->home),
                    sizeof launch->home_env)
            && fits(snprintf(launch->user_env, sizeof launch->user_env, "USER=%s", target->name),
                    sizeof launch->user_env);
    }
    fill_argv(options, launch);
    launch->envp[0] = launch->home_env;
    launch->envp[1] = launch->user_env;
    launch->envp[2] = (char *)"PATH=/usr/bin:/bin";
    launch->envp[3] = NULL;
    return ok ? PAM_SUCCESS : PAM_SYSTEM_ERR;
}

void vg_release_launch(struct vg_launch *launch)
{
    free(launch->groups);
    launch->groups = NULL;
}
