#include "options.h"

#include <security/pam_ext.h>

#include <string.h>
#include <syslog.h>

#ifndef VISAGIO_CHECK_PATH
#define VISAGIO_CHECK_PATH "/usr/bin/visagio-check"
#endif

enum {
    kDefaultTimeout = 4,
    kMinTimeout = 1,
    kMaxTimeout = 30,
};

// Reads a timeout in whole seconds: digits only, within the allowed range.
static int parse_timeout(const char *text, int *seconds)
{
    int value = 0;
    if (*text == '\0' || strlen(text) > 2)
        return -1;
    for (const char *c = text; *c; ++c) {
        if (*c < '0' || *c > '9')
            return -1;
        value = value * 10 + (*c - '0');
    }
    if (value < kMinTimeout || value > kMaxTimeout)
        return -1;
    *seconds = value;
    return 0;
}

// Stores the value of "name=value" in *slot when the argument has that name; an empty value
// counts as a bad one.
static int take_value(const char *arg, const char *name, const char **slot, int *bad)
{
    size_t length = strlen(name);
    if (strncmp(arg, name, length) != 0 || arg[length] != '=')
        return 0;
    *slot = arg + length + 1;
    if (**slot == '\0')
        *bad = 1;
    return 1;
}

// Handles the arguments only the test build knows; returns 1 when the argument was one of them.
static int take_test_argument(const char *arg, struct vg_options *options, int *bad)
{
#ifdef VISAGIO_PAM_TESTING
    return take_value(arg, "check", &options->check, bad)
        || take_value(arg, "check_user", &options->check_user, bad)
        || take_value(arg, "camera", &options->camera, bad)
        || take_value(arg, "profile", &options->profile, bad)
        || take_value(arg, "sealdir", &options->seal_dir, bad)
        || take_value(arg, "statedir", &options->state_dir, bad);
#else
    (void)arg;
    (void)options;
    (void)bad;
    return 0;
#endif
}

int vg_parse_options(pam_handle_t *pamh, int argc, const char **argv, struct vg_options *options)
{
    const struct vg_options defaults = {kDefaultTimeout, NULL, VISAGIO_CHECK_PATH, "visagio",
                                        NULL, NULL, "/var/lib/visagio", "/run"};
    *options = defaults;
    for (int i = 0; i < argc; ++i) {
        const char *timeout = NULL;
        int bad = 0;
        int known = take_value(argv[i], "timeout", &timeout, &bad)
            || take_value(argv[i], "services", &options->services, &bad)
            || take_test_argument(argv[i], options, &bad);
        if (timeout != NULL && !bad && parse_timeout(timeout, &options->timeout) != 0)
            bad = 1;
        if (!known || bad) {
            pam_syslog(pamh, LOG_ERR, "bad argument: %s", argv[i]);
            return -1;
        }
    }
    return 0;
}
