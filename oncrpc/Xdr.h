// XDR, the external data representation of ONC RPC: big-endian 32-bit
// units, variable-length opaque data and strings as a length and the bytes
// padded to a multiple of four. Pure. The reader never reads past its
// bytes: a field that does not fit (or a length over the caller's bound)
// fails the reader, and every read after it fails too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tpg::oncrpc {

class XdrReader {
  public:
    explicit XdrReader(std::string_view bytes) : bytes_(bytes) {}

    bool u32(std::uint32_t& out);
    bool i32(std::int32_t& out);
    // A boolean is 0 or 1; anything else fails the reader.
    bool boolean(bool& out);
    // Variable-length opaque data (or a string) of at most maxBytes.
    bool opaque(std::string& out, std::size_t maxBytes);
    // Skips variable-length opaque data of at most maxBytes.
    bool skipOpaque(std::size_t maxBytes);

    bool ok() const { return ok_; }
    std::size_t offset() const { return offset_; }
    std::string_view rest() const { return bytes_.substr(offset_); }

  private:
    bool fail() {
        ok_ = false;
        return false;
    }

    std::string_view bytes_;
    std::size_t offset_ = 0;
    bool ok_ = true;
};

class XdrWriter {
  public:
    void u32(std::uint32_t value);
    void i32(std::int32_t value) { u32(static_cast<std::uint32_t>(value)); }
    void boolean(bool value) { u32(value ? 1 : 0); }
    void opaque(std::string_view data);
    // Bytes already encoded (a nested structure).
    void raw(std::string_view encoded) { bytes_.append(encoded); }

    const std::string& bytes() const { return bytes_; }
    std::string take() { return std::move(bytes_); }

  private:
    std::string bytes_;
};

}  // namespace tpg::oncrpc
