// Milliseconds on CLOCK_MONOTONIC; async-signal-safe, so the forked children use it too.
#pragma once

#include <stdint.h>

// Ensures: the current CLOCK_MONOTONIC time in milliseconds.
int64_t vg_now_ms(void);

// Ensures: milliseconds left until deadline_ms, 0 when it has passed; capped to fit poll().
int vg_ms_until(int64_t deadline_ms);
