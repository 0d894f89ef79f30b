#include "oncrpc/Xdr.h"

namespace tpg::oncrpc {
namespace {

std::size_t padded(std::size_t length) {
    return (length + 3) & ~std::size_t{3};
}

}  // namespace

bool XdrReader::u32(std::uint32_t& out) {
    if (!ok_ || bytes_.size() - offset_ < 4) {
        return fail();
    }
    out = 0;
    for (int i = 0; i < 4; ++i) {
        out = (out << 8) | static_cast<std::uint8_t>(bytes_[offset_++]);
    }
    return true;
}

bool XdrReader::i32(std::int32_t& out) {
    std::uint32_t raw = 0;
    if (!u32(raw)) {
        return false;
    }
    out = static_cast<std::int32_t>(raw);
    return true;
}

bool XdrReader::boolean(bool& out) {
    std::uint32_t raw = 0;
    if (!u32(raw) || raw > 1) {
        return fail();
    }
    out = raw == 1;
    return true;
}

bool XdrReader::opaque(std::string& out, std::size_t maxBytes) {
    std::uint32_t length = 0;
    if (!u32(length) || length > maxBytes || padded(length) > bytes_.size() - offset_) {
        return fail();
    }
    out.assign(bytes_.substr(offset_, length));
    offset_ += padded(length);
    return true;
}

bool XdrReader::skipOpaque(std::size_t maxBytes) {
    std::uint32_t length = 0;
    if (!u32(length) || length > maxBytes || padded(length) > bytes_.size() - offset_) {
        return fail();
    }
    offset_ += padded(length);
    return true;
}

void XdrWriter::u32(std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes_.push_back(static_cast<char>((value >> shift) & 0xFFU));
    }
}

void XdrWriter::opaque(std::string_view data) {
    u32(static_cast<std::uint32_t>(data.size()));
    bytes_.append(data);
    bytes_.append(padded(data.size()) - data.size(), '\0');
}

}  // namespace tpg::oncrpc
