// The report-descriptor parser, two ways.
//
// Any bytes: the parser answers without reading past the end, gives the same
// answer twice, accepts only whole items, never reports a length longer than
// the descriptor's items could describe, and ignores what cannot change a
// length (a local item, a long item, a Push and Pop around everything).
//
// Descriptors built from the input: fields of random sizes and counts under
// random report IDs, nested collections, Push and Pop, values written in 0,
// 1, 2 or 4 bytes. The parser must give exactly the lengths that were built,
// and refuse exactly the descriptors that are malformed or too long.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <numeric>
#include <optional>
#include <span>
#include <vector>

#include "Check.h"
#include "hid/linux/ReportDescriptor.h"

namespace {

using tpg::hid::Capabilities;
using tpg::hid::hidraw::reportLengths;
using Bytes = std::vector<std::uint8_t>;
using Lengths = std::optional<Capabilities>;

constexpr std::uint8_t kLongItem = 0xFE;
// Prefixes with the data-size bits cleared.
constexpr std::uint8_t kInput = 0x80;
constexpr std::uint8_t kOutput = 0x90;
constexpr std::uint8_t kFeature = 0xB0;
constexpr std::uint8_t kCollection = 0xA0;
constexpr std::uint8_t kEndCollection = 0xC0;
constexpr std::uint8_t kReportSize = 0x74;
constexpr std::uint8_t kReportId = 0x84;
constexpr std::uint8_t kReportCount = 0x94;
constexpr std::uint8_t kPush = 0xA4;
constexpr std::uint8_t kPop = 0xB4;
constexpr std::uint8_t kUsage = 0x08;           // local
constexpr std::uint8_t kLogicalMinimum = 0x14;  // global, no bearing on lengths
constexpr std::array<std::uint8_t, 3> kMainKinds = {kInput, kOutput, kFeature};

// The longest report a 16-bit length can state, ID byte included, in bits
// without that byte.
constexpr std::uint64_t kMaxPayloadBits = (0xFFFFULL - 1) * 8;

bool same(const Lengths& a, const Lengths& b) {
    if (a.has_value() != b.has_value()) {
        return false;
    }
    return !a || (a->inputReportByteLength == b->inputReportByteLength &&
                  a->outputReportByteLength == b->outputReportByteLength &&
                  a->featureReportByteLength == b->featureReportByteLength);
}

std::uint16_t lengthOf(const Capabilities& c, std::uint8_t kind) {
    return kind == kInput    ? c.inputReportByteLength
           : kind == kOutput ? c.outputReportByteLength
                             : c.featureReportByteLength;
}

// --- any bytes ---

// One item as the item framing delimits it.
struct Item {
    std::size_t offset;
    std::size_t length;
    std::uint8_t prefix;  // data-size bits cleared, except for a long item
    std::uint32_t value;
};

// Splits a descriptor into items; nothing when the last one runs past the end.
std::optional<std::vector<Item>> splitItems(std::span<const std::uint8_t> d) {
    std::vector<Item> out;
    std::size_t pos = 0;
    while (pos < d.size()) {
        const std::uint8_t prefix = d[pos];
        std::size_t length = 0;
        if (prefix == kLongItem) {
            if (d.size() - pos < 2) {
                return std::nullopt;
            }
            length = 3 + std::size_t{d[pos + 1]};
        } else {
            const unsigned code = prefix & 0x3U;
            length = 1 + (code == 3 ? 4 : code);
        }
        if (length > d.size() - pos) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        if (prefix != kLongItem) {
            for (std::size_t i = 1; i < length; ++i) {
                value |= static_cast<std::uint32_t>(d[pos + i]) << (8 * (i - 1));
            }
        }
        out.push_back(Item{pos, length,
                           prefix == kLongItem ? prefix : static_cast<std::uint8_t>(prefix & 0xFC),
                           value});
        pos += length;
    }
    return out;
}

std::size_t countOf(const std::vector<Item>& items, std::uint8_t prefix) {
    return static_cast<std::size_t>(std::count_if(
        items.begin(), items.end(), [&](const Item& i) { return i.prefix == prefix; }));
}

std::uint32_t largest(const std::vector<Item>& items, std::uint8_t prefix) {
    std::uint32_t most = 0;
    for (const auto& i : items) {
        if (i.prefix == prefix) {
            most = std::max(most, i.value);
        }
    }
    return most;
}

Bytes insertAt(std::span<const std::uint8_t> d, std::size_t offset, const Bytes& extra) {
    Bytes out(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(offset));
    out.insert(out.end(), extra.begin(), extra.end());
    out.insert(out.end(), d.begin() + static_cast<std::ptrdiff_t>(offset), d.end());
    return out;
}

void checkAnyBytes(std::span<const std::uint8_t> data) {
    // A copy of exactly the input's size, so that AddressSanitizer sees a
    // read one byte past the end.
    const Bytes d(data.begin(), data.end());
    const Lengths parsed = reportLengths(d);
    FUZZ_CHECK(same(parsed, reportLengths(d)));

    const auto items = splitItems(d);
    if (parsed) {
        FUZZ_CHECK(items.has_value());
        for (const auto& i : *items) {
            const bool reservedType = ((i.prefix >> 2) & 0x3U) == 3 && i.prefix != kLongItem;
            FUZZ_CHECK(!reservedType);
        }
        FUZZ_CHECK(countOf(*items, kPop) <= countOf(*items, kPush));
        FUZZ_CHECK(countOf(*items, kCollection) == countOf(*items, kEndCollection));
        // No report is longer than all main items of its kind together at the
        // largest size and count that the descriptor states anywhere.
        const unsigned __int128 mostBits =
            static_cast<unsigned __int128>(largest(*items, kReportSize)) *
            largest(*items, kReportCount);
        for (const auto kind : kMainKinds) {
            const std::size_t fields = countOf(*items, kind);
            const std::uint16_t length = lengthOf(*parsed, kind);
            if (fields == 0) {
                FUZZ_CHECK(length == 0);
            } else if (length > 0) {
                FUZZ_CHECK(static_cast<unsigned __int128>(length - 1) * 8 < fields * mostBits + 8);
            }
        }
    }
    if (!items) {
        return;
    }

    // Where to insert: an item boundary picked by the input itself.
    const std::size_t sum = std::accumulate(d.begin(), d.end(), std::size_t{0});
    const std::size_t boundaryIndex = sum % (items->size() + 1);
    const std::size_t at =
        boundaryIndex == items->size() ? d.size() : (*items)[boundaryIndex].offset;
    const auto seed = static_cast<std::uint8_t>(sum);

    // A local item names a field; it never changes a length or the verdict.
    FUZZ_CHECK(same(parsed, reportLengths(insertAt(d, at, {kUsage | 1, seed}))));
    // A long item is skipped whole, whatever its data.
    FUZZ_CHECK(same(parsed, reportLengths(insertAt(d, at, {kLongItem, 2, seed, 0x81, 0xB1}))));
    // The global state pushed before everything and popped after it.
    if (parsed && countOf(*items, kPush) < 63) {
        Bytes wrapped = insertAt(d, 0, {kPush});
        wrapped.push_back(kPop);
        FUZZ_CHECK(same(parsed, reportLengths(wrapped)));
    }
}

// --- descriptors built from the input ---

struct Global {
    std::uint32_t size = 0;
    std::uint32_t count = 0;
    std::uint32_t id = 0;
};

class Builder {
  public:
    explicit Builder(FuzzedDataProvider& in) : in_(in) {}

    void build() {
        putItem(0x04, 0xFF00);  // Usage Page (vendor defined)
        putItem(kUsage, 1);
        const bool numbered = in_.ConsumeBool();
        const int steps = in_.ConsumeIntegralInRange(0, 48);
        for (int step = 0; step < steps && in_.remaining_bytes() > 0; ++step) {
            switch (in_.ConsumeIntegralInRange(0, 11)) {
                case 0:
                    global_.size = value();
                    putItem(kReportSize, global_.size);
                    break;
                case 1:
                    global_.count = value();
                    putItem(kReportCount, global_.count);
                    break;
                case 2:
                    if (numbered) {
                        const auto id = in_.ConsumeIntegralInRange<std::uint32_t>(0, 0x100);
                        malformed_ |= id == 0 || id > 0xFF;  // IDs are 1 to 255
                        global_.id = id;
                        putItem(kReportId, id);
                    }
                    break;
                case 3:
                case 4:
                case 5: {
                    const std::size_t kind = in_.ConsumeIntegralInRange<std::size_t>(0, 2);
                    putItem(kMainKinds[kind], in_.ConsumeIntegral<std::uint8_t>());
                    auto& total = bits_[kind][global_.id];
                    total = std::min<std::uint64_t>(
                        total + static_cast<std::uint64_t>(global_.size) * global_.count,
                        std::uint64_t{1} << 62);
                    break;
                }
                case 6:
                    if (stack_.size() < 64) {
                        stack_.push_back(global_);
                        putItem(kPush, 0);
                    }
                    break;
                case 7:
                    if (!stack_.empty()) {
                        global_ = stack_.back();
                        stack_.pop_back();
                        putItem(kPop, 0);
                    }
                    break;
                case 8:
                    if (depth_ < 64) {
                        ++depth_;
                        putItem(kCollection, in_.ConsumeIntegralInRange(0, 2));
                    }
                    break;
                case 9:
                    if (depth_ > 0) {
                        --depth_;
                        putItem(kEndCollection, 0);
                    }
                    break;
                case 10:
                    putItem(in_.ConsumeBool() ? kUsage : kLogicalMinimum, value());
                    break;
                default: {
                    const auto size = in_.ConsumeIntegralInRange<std::uint8_t>(0, 8);
                    bytes_.insert(bytes_.end(), {kLongItem, size, 0x10});
                    for (std::uint8_t i = 0; i < size; ++i) {
                        bytes_.push_back(in_.ConsumeIntegral<std::uint8_t>());
                    }
                    break;
                }
            }
        }
        for (; depth_ > 0; --depth_) {
            putItem(kEndCollection, 0);
        }
    }

    const Bytes& bytes() const { return bytes_; }

    // The lengths that were built, or nothing for a descriptor to refuse.
    Lengths expected() const {
        if (malformed_) {
            return std::nullopt;
        }
        std::array<std::uint16_t, 3> lengths{};
        for (std::size_t kind = 0; kind < 3; ++kind) {
            std::uint64_t longest = 0;
            for (const auto& [id, total] : bits_[kind]) {
                if (total > kMaxPayloadBits) {
                    return std::nullopt;
                }
                if (total > 0) {
                    longest = std::max(longest, (total + 7) / 8 + 1);
                }
            }
            lengths[kind] = static_cast<std::uint16_t>(longest);
        }
        return Capabilities{.inputReportByteLength = lengths[0],
                            .outputReportByteLength = lengths[1],
                            .featureReportByteLength = lengths[2]};
    }

  private:
    // Mostly the sizes and counts of real devices, now and then any 32-bit
    // value.
    std::uint32_t value() {
        return in_.ConsumeBool() ? in_.ConsumeIntegralInRange<std::uint32_t>(0, 300)
                                 : in_.ConsumeIntegral<std::uint32_t>();
    }

    // An item with value in the fewest data bytes that hold it, or in more.
    void putItem(std::uint8_t prefix, std::uint32_t value) {
        const std::size_t needed = value == 0 ? 0 : value <= 0xFF ? 1 : value <= 0xFFFF ? 2 : 4;
        static constexpr std::array<std::size_t, 4> kWidths = {0, 1, 2, 4};
        const std::size_t width = std::max(needed, in_.PickValueInArray(kWidths));
        const std::uint8_t code = width == 4 ? 3 : static_cast<std::uint8_t>(width);
        bytes_.push_back(static_cast<std::uint8_t>(prefix | code));
        for (std::size_t i = 0; i < width; ++i) {
            bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    }

    FuzzedDataProvider& in_;
    Bytes bytes_;
    Global global_;
    std::vector<Global> stack_;
    int depth_ = 0;
    bool malformed_ = false;
    std::array<std::map<std::uint32_t, std::uint64_t>, 3> bits_;
};

void checkBuilt(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    Builder builder(in);
    builder.build();
    FUZZ_CHECK(same(reportLengths(builder.bytes()), builder.expected()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkAnyBytes({data, size});
    checkBuilt(data, size);
    return 0;
}
