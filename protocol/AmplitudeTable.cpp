#include "protocol/AmplitudeTable.h"

#include <cmath>

namespace tpg::protocol {

std::string amplitudeText(int index) {
    // Each product and the sum is rounded to double on its own, in this
    // order; the figures depend on it (index 24 shows 123, not 124).
    volatile double t1 = (static_cast<double>(index) + 16.0) * 0.247;
    volatile double t2 = t1 * 12.5;
    volatile double t = t2 + 0.5;
    return std::to_string(static_cast<long long>(std::floor(t)));
}

}  // namespace tpg::protocol
