// The child between the module and the check: it sets the process up, drops to the check
// user on the root path, starts the check and reports its end. Async-signal-safe calls only.
#pragma once

#include "launch.h"

#include <stdint.h>

struct vg_child_plan {
    const struct vg_launch *launch;
    int dev_null;
    int result_write;         // to the module
    int output_read;          // the check's stdout
    int output_write;
    int64_t kill_at_ms;       // F + S + 0.25 s on CLOCK_MONOTONIC
    int64_t report_by_ms;     // F + S + 0.5 s
};

// Requires: called in a child just forked by the module with every signal blocked; every
//           descriptor of plan is >= 3.
// Ensures:  never returns; writes one report to plan->result_write and _exits.
_Noreturn void vg_run_intermediate(const struct vg_child_plan *plan);
