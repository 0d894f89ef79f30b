#include "hid/linux/ReportDescriptor.h"

#include <array>
#include <map>
#include <vector>

namespace tpg::hid::hidraw {

namespace {

// Item types (bits 2-3 of the prefix byte).
constexpr unsigned kTypeMain = 0;
constexpr unsigned kTypeGlobal = 1;
constexpr unsigned kTypeReserved = 3;

// Main item tags.
constexpr unsigned kTagInput = 0x8;
constexpr unsigned kTagOutput = 0x9;
constexpr unsigned kTagCollection = 0xA;
constexpr unsigned kTagFeature = 0xB;
constexpr unsigned kTagEndCollection = 0xC;

// Global item tags that bear on report lengths.
constexpr unsigned kTagReportSize = 0x7;
constexpr unsigned kTagReportId = 0x8;
constexpr unsigned kTagReportCount = 0x9;
constexpr unsigned kTagPush = 0xA;
constexpr unsigned kTagPop = 0xB;

constexpr std::uint8_t kLongItemPrefix = 0xFE;

// Deeper than any real device nests; bounds the memory a hostile descriptor
// can make the parser take.
constexpr std::size_t kMaxPushDepth = 64;
constexpr std::size_t kMaxCollectionDepth = 64;

// The largest report the 16-bit lengths can describe, ID byte included.
constexpr std::uint64_t kMaxReportBytes = 0xFFFF;

struct GlobalState {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

enum Kind { kInput = 0, kOutput = 1, kFeature = 2, kKindCount = 3 };

std::uint32_t unsignedData(std::span<const std::uint8_t> data) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        value |= static_cast<std::uint32_t>(data[i]) << (8 * i);
    }
    return value;
}

}  // namespace

std::optional<Capabilities> reportLengths(std::span<const std::uint8_t> descriptor) {
    GlobalState global;
    std::vector<GlobalState> stack;
    std::size_t collectionDepth = 0;
    // Bits per report ID, for each kind.
    std::array<std::map<std::uint32_t, std::uint64_t>, kKindCount> bits;

    std::size_t pos = 0;
    while (pos < descriptor.size()) {
        const std::uint8_t prefix = descriptor[pos];
        if (prefix == kLongItemPrefix) {
            // Long item: prefix, data size, tag, then the data. None is defined
            // for report layout, so it is skipped whole.
            if (descriptor.size() - pos < 3) {
                return std::nullopt;
            }
            const std::size_t dataSize = descriptor[pos + 1];
            if (descriptor.size() - pos - 3 < dataSize) {
                return std::nullopt;
            }
            pos += 3 + dataSize;
            continue;
        }
        static constexpr std::array<std::size_t, 4> kDataSizes = {0, 1, 2, 4};
        const std::size_t dataSize = kDataSizes[prefix & 0x3U];
        const unsigned type = (prefix >> 2) & 0x3U;
        const unsigned tag = prefix >> 4;
        if (descriptor.size() - pos - 1 < dataSize) {
            return std::nullopt;
        }
        const std::uint32_t value = unsignedData(descriptor.subspan(pos + 1, dataSize));
        pos += 1 + dataSize;

        if (type == kTypeReserved) {
            return std::nullopt;
        }
        if (type == kTypeMain) {
            int kind = -1;
            switch (tag) {
                case kTagInput:
                    kind = kInput;
                    break;
                case kTagOutput:
                    kind = kOutput;
                    break;
                case kTagFeature:
                    kind = kFeature;
                    break;
                case kTagCollection:
                    if (++collectionDepth > kMaxCollectionDepth) {
                        return std::nullopt;
                    }
                    break;
                case kTagEndCollection:
                    if (collectionDepth == 0) {
                        return std::nullopt;
                    }
                    --collectionDepth;
                    break;
                default:
                    break;  // reserved main tags carry no report data
            }
            if (kind >= 0) {
                auto& total = bits[kind][global.reportId];
                total += static_cast<std::uint64_t>(global.reportSize) * global.reportCount;
                if (total > kMaxReportBytes * 8) {
                    return std::nullopt;
                }
            }
        } else if (type == kTypeGlobal) {
            switch (tag) {
                case kTagReportSize:
                    global.reportSize = value;
                    break;
                case kTagReportCount:
                    global.reportCount = value;
                    break;
                case kTagReportId:
                    if (value == 0 || value > 0xFF) {
                        return std::nullopt;
                    }
                    global.reportId = value;
                    break;
                case kTagPush:
                    if (stack.size() >= kMaxPushDepth) {
                        return std::nullopt;
                    }
                    stack.push_back(global);
                    break;
                case kTagPop:
                    if (stack.empty()) {
                        return std::nullopt;
                    }
                    global = stack.back();
                    stack.pop_back();
                    break;
                default:
                    break;  // usage page, logical/physical ranges, units
            }
        }
        // Local items (usages, designators, strings, delimiters) name the
        // fields but do not change their size.
    }
    if (collectionDepth != 0) {
        return std::nullopt;
    }

    std::array<std::uint16_t, kKindCount> lengths{};
    for (int kind = 0; kind < kKindCount; ++kind) {
        std::uint64_t longest = 0;
        for (const auto& [id, count] : bits[kind]) {
            if (count > 0) {
                longest = std::max(longest, (count + 7) / 8 + 1);
            }
        }
        if (longest > kMaxReportBytes) {
            return std::nullopt;
        }
        lengths[kind] = static_cast<std::uint16_t>(longest);
    }
    return Capabilities{.inputReportByteLength = lengths[kInput],
                        .outputReportByteLength = lengths[kOutput],
                        .featureReportByteLength = lengths[kFeature]};
}

}  // namespace tpg::hid::hidraw
