// Starts the check through the intermediate child and collects its report.
#pragma once

#include "launch.h"
#include "report.h"

// Requires: launch from vg_prepare_launch; timeout in seconds.
// Ensures:  returns 0 once the intermediate was forked, with *report filled when it reported
//           by F + S + 1 s (F: the fork instant); the intermediate is then killed through its
//           pidfd and reaped without touching any other child, SIGCHLD or alarm of the host.
//           Returns -1 (nothing left running) when /dev/null, a pipe, the fork or the pidfd
//           failed.
int vg_spawn_check(const struct vg_launch *launch, int timeout, struct vg_report *report);
