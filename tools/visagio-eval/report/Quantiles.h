#pragma once

#include <vector>

namespace eval {

// The value below which `share` (0-1) of the values lie, the nearest rank rounded; 0 for none.
float quantile(std::vector<float> values, double share);

// The median absolute deviation from the median: a spread that a few outliers do not move.
float medianDeviation(std::vector<float> values);

} // namespace eval
