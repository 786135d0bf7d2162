#include "clock.h"

#include <time.h>

int64_t vg_now_ms(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

int vg_ms_until(int64_t deadline_ms)
{
    int64_t left = deadline_ms - vg_now_ms();
    if (left <= 0)
        return 0;
    return left > 60000 ? 60000 : (int)left;
}
