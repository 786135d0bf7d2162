#include "Parallel.h"

#include "ProgressBar.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <vector>

namespace eval {

namespace {
// How often the progress bar looks at the threads' work.
constexpr std::chrono::milliseconds kProgressPoll(200);
} // namespace

void Parallel::forEach(std::size_t items, int threads, const std::string& label,
                           const std::function<void(std::size_t thread, std::size_t item)>& work)
{
    const auto count = static_cast<std::size_t>(std::max(threads, 1));
    std::atomic<long> done{0};
    std::vector<std::future<void>> running;
    for (std::size_t t = 0; t < count; ++t)
        running.push_back(std::async(std::launch::async, [&, t] {
            for (std::size_t i = t; i < items; i += count) {
                work(t, i);
                ++done;
            }
        }));
    ProgressBar progress(label, static_cast<long>(items));
    for (std::future<void>& thread : running)
        while (thread.wait_for(kProgressPoll) != std::future_status::ready)
            progress.update(done);
    progress.finish();
    for (std::future<void>& thread : running)
        thread.get();
}

MethodResult Parallel::scoreEach(std::size_t items, int threads, const TrialProtocol::ScorerFactory& make,
                                         bool lockLevel,
                                         const std::function<MethodResult(Scorer&, std::size_t)>& unit)
{
    std::vector<std::unique_ptr<Scorer>> scorers;
    for (int t = 0; t < std::max(threads, 1); ++t)
        scorers.push_back(make());
    std::vector<MethodResult> perItem(items);
    forEach(items, threads, scorers.front()->name(),
            [&](std::size_t t, std::size_t i) { perItem[i] = unit(*scorers[t], i); });
    MethodResult result;
    result.name = scorers.front()->name();
    result.decisionThreshold = scorers.front()->decisionThreshold();
    result.lockLevel = lockLevel;
    for (const MethodResult& one : perItem)
        result.append(one);
    return result;
}

} // namespace eval
