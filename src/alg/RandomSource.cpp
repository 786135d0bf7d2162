#include "RandomSource.h"

namespace {
// The classic C library generator: state' = state * 1103515245 + 12345, value = bits 16..30.
constexpr unsigned long kMultiplier = 1103515245UL;
constexpr unsigned long kIncrement = 12345UL;
constexpr unsigned long kStateMask = 0xFFFFFFFFUL;
} // namespace

int RandomSource::next()
{
    state = (state * kMultiplier + kIncrement) & kStateMask;
    return int((state >> 16) & kMax);
}

void RandomSource::seed(unsigned seed)
{
    state = seed;
}
