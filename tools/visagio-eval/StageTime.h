#pragma once

#include <chrono>
#include <utility>

namespace eval {

// Wall-clock time spent in one stage of the pipeline, summed over its calls.
struct StageTime
{
    double seconds = 0.0;
    long calls = 0;

    double millisecondsPerCall() const { return calls == 0 ? 0.0 : 1000.0 * seconds / static_cast<double>(calls); }

    // Runs `work` once, adding its duration; returns what it returns.
    template <typename Work>
    auto measure(Work&& work) -> decltype(work())
    {
        const auto start = std::chrono::steady_clock::now();
        struct Stop
        {
            StageTime& time;
            std::chrono::steady_clock::time_point start;
            ~Stop()
            {
                time.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                ++time.calls;
            }
        } stop{*this, start};
        return std::forward<Work>(work)();
    }
};

} // namespace eval
