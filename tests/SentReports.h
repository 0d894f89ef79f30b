// What the tests expect to reach a generator, shared by every rig: reports
// as bytes, and the bench's log of what was sent.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "hid/sim/SimulatedBench.h"

namespace tpg::test {

using Bytes = std::vector<std::uint8_t>;

// The first bytes of a report, padded with zeros to length (the generator's
// 65-byte feature reports by default).
inline Bytes report(std::initializer_list<std::uint8_t> head, std::size_t length = 65) {
    // Made at its full length and then written, rather than grown from the
    // head: GCC 12 at -O3 sees a bounds fault in the inlined resize that
    // cannot happen.
    Bytes bytes(std::max(length, head.size()), 0);
    std::copy(head.begin(), head.end(), bytes.begin());
    bytes.resize(length);
    return bytes;
}

// The bytes of every report the bench received so far, in order; then the
// bench forgets them.
inline std::vector<Bytes> takeSent(hid::sim::SimulatedBench& bench) {
    std::vector<Bytes> out;
    for (const auto& r : bench.sentReports()) {
        out.push_back(r.bytes);
    }
    bench.clearSentReports();
    return out;
}

// What one press of "Restore default settings" sends to a generator whose
// window is filled: pulse frequency, amplitude twice, connector function
// twice, sync frequency, polarity twice.
inline std::vector<Bytes> restoreDefaultsReports() {
    return {
        report({0x00, 0x01, 0x00, 0x80, 0x96, 0x98, 0x00}),
        report({0x00, 0x02, 0x00, 0x53, 0x01}),
        report({0x00, 0x02, 0x00, 0x53, 0x01}),
        report({0x00, 0x05, 0x00, 0x00, 0x00}),
        report({0x00, 0x05, 0x00, 0x00, 0x00}),
        report({0x00, 0x06, 0x00, 0x80, 0x96, 0x98, 0x00}),
        report({0x00, 0x03, 0x00, 0x01, 0x00}),
        report({0x00, 0x03, 0x00, 0x01, 0x00}),
    };
}

}  // namespace tpg::test
