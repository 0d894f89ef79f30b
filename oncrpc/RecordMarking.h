// ONC RPC record marking over a byte stream (TCP): a record is sent as
// fragments, each after a 4-byte header whose top bit marks the last
// fragment and whose other 31 bits give its length. Pure. A record, or one
// of its fragments, longer than the reader's limit breaks the stream: the
// connection must be closed, as its framing can no longer be trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tpg::oncrpc {

class RecordReader {
  public:
    explicit RecordReader(std::size_t maxRecordBytes) : maxRecord_(maxRecordBytes) {}

    // Takes the next bytes of the stream; the records they complete are
    // appended to records. False once a record passes the limit (nothing
    // more is read after that).
    bool feed(std::string_view bytes, std::vector<std::string>& records);

    bool broken() const { return broken_; }
    // Bytes of a record begun and not yet complete.
    std::size_t pending() const { return record_.size(); }

  private:
    std::size_t maxRecord_;
    std::string record_;
    std::uint8_t header_[4] = {};
    std::size_t headerBytes_ = 0;
    std::size_t fragmentLeft_ = 0;
    bool inFragment_ = false;
    bool lastFragment_ = false;
    bool broken_ = false;
};

// A record as one last fragment.
std::string frameRecord(std::string_view record);

}  // namespace tpg::oncrpc
