#pragma once

// The matcher's pseudo-random generator: values 0 ... 32767 from a fixed initial state, so
// that the foreign-face selection repeats on every start, re-seedable from the time later.
// (The classic C library linear congruential generator.)
class RandomSource
{
public:
    static constexpr int kMax = 32767;

    // Ensures: next() yields 0 ... kMax.
    int next();
    // Restarts the sequence from `seed` (the fixed initial state is seed 1).
    void seed(unsigned seed);

private:
    unsigned long state = 1;
};
