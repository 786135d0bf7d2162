#pragma once

#include "TrialProtocol.h"

#include <cstddef>
#include <functional>
#include <string>

namespace eval {

// Shares items out over threads for the evaluation axes, with a progress bar.
namespace Parallel {

// Ensures: work(t, i) ran once for every item i < items, thread t taking the items t,
//          t + threads, ... in order (so that each thread may keep state of its own, such as a
//          scorer); at least one thread.
// Throws:  what work throws (after every thread has ended).
void forEach(std::size_t items, int threads, const std::string& label,
             const std::function<void(std::size_t thread, std::size_t item)>& work);

// Ensures: unit(scorer, i) ran for every i < items with a scorer of its thread's own (made by
//          `make` on the calling thread); their results joined in item order, under the
//          scorer's name and threshold, marked lockLevel. Does not depend on the thread count
//          when each unit enrols its scorer anew.
MethodResult scoreEach(std::size_t items, int threads, const TrialProtocol::ScorerFactory& make, bool lockLevel,
                           const std::function<MethodResult(Scorer& scorer, std::size_t item)>& unit);

} // namespace Parallel

} // namespace eval
