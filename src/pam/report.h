// What the intermediate child tells the module through the result pipe: a kind byte, a value
// byte and up to 200 bytes of the check's first line.
#pragma once

enum { VG_REPORT_LINE_MAX = 200 };

enum vg_report_kind {
    VG_REPORT_EXITED = 'e',       // value: the exit status
    VG_REPORT_SIGNALLED = 's',    // value: the signal
    VG_REPORT_TIMED_OUT = 't',    // killed at the deadline
    VG_REPORT_DROP_FAILED = 'd',  // the set-up before the check (drop, limits) failed
    VG_REPORT_FORK_FAILED = 'f',  // the check could not be forked
};

struct vg_report {
    int received;             // 0: no report came (SYSTEM_ERR)
    char kind;
    unsigned char value;
    char line[VG_REPORT_LINE_MAX + 1];
};
