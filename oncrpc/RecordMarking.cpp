#include "oncrpc/RecordMarking.h"

#include <algorithm>

namespace tpg::oncrpc {
namespace {

constexpr std::uint32_t kLastFragment = 0x80000000U;

}  // namespace

bool RecordReader::feed(std::string_view bytes, std::vector<std::string>& records) {
    while (!broken_ && !bytes.empty()) {
        if (!inFragment_) {
            header_[headerBytes_++] = static_cast<std::uint8_t>(bytes.front());
            bytes.remove_prefix(1);
            if (headerBytes_ < 4) {
                continue;
            }
            headerBytes_ = 0;
            const std::uint32_t header = (std::uint32_t{header_[0]} << 24) |
                                         (std::uint32_t{header_[1]} << 16) |
                                         (std::uint32_t{header_[2]} << 8) | header_[3];
            lastFragment_ = (header & kLastFragment) != 0;
            fragmentLeft_ = header & ~kLastFragment;
            if (fragmentLeft_ > maxRecord_ - record_.size()) {
                broken_ = true;
                record_.clear();
                return false;
            }
            inFragment_ = true;
        }
        const std::size_t take = std::min(fragmentLeft_, bytes.size());
        record_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        fragmentLeft_ -= take;
        if (fragmentLeft_ == 0) {
            inFragment_ = false;
            if (lastFragment_) {
                records.push_back(std::move(record_));
                record_.clear();
            }
        }
    }
    return !broken_;
}

std::string frameRecord(std::string_view record) {
    const auto header = static_cast<std::uint32_t>(record.size()) | kLastFragment;
    std::string framed;
    framed.reserve(record.size() + 4);
    for (int shift = 24; shift >= 0; shift -= 8) {
        framed.push_back(static_cast<char>((header >> shift) & 0xFFU));
    }
    framed.append(record);
    return framed;
}

}  // namespace tpg::oncrpc
