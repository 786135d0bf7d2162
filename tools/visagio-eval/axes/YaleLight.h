#pragma once

#include "TrialProtocol.h"
#include "YaleCrops.h"

#include <vector>

namespace eval {

// Real light on held-out people: each person is enrolled from the crop lit from the front and
// verified on every other crop of theirs (genuine) and on every crop of every other held-out
// person (impostor).
class YaleLight
{
public:
    // Ensures: the pooled trials of every held-out person as owner, in person order.
    static MethodResult run(const std::vector<YalePerson>& people, const TrialProtocol::ScorerFactory& make,
                            int groupSize, unsigned seed, int threads);
};

} // namespace eval
