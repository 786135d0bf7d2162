#include "report/Quantiles.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace eval {

float quantile(std::vector<float> values, double share)
{
    if (values.empty())
        return 0;
    const auto at = values.begin() + std::ptrdiff_t(share * double(values.size() - 1) + 0.5);
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

float medianDeviation(std::vector<float> values)
{
    const float centre = quantile(values, 0.5);
    for (float& value : values)
        value = std::abs(value - centre);
    return quantile(values, 0.5);
}

} // namespace eval
