// A blocking VXI-11 client of one link over ONC RPC on TCP, for the soak
// and the benchmark: create_link at construction, then one call at a time.
// A reply that is not accepted, or a record that breaks, throws.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <asio.hpp>

#include "oncrpc/RecordMarking.h"
#include "oncrpc/Xdr.h"
#include "vxi11/Messages.h"

namespace tpg::test {

class LinkClient {
  public:
    explicit LinkClient(const asio::ip::tcp::endpoint& core) : socket_(io_) {
        socket_.connect(core);
        oncrpc::XdrWriter args;
        args.i32(1);
        args.boolean(false);
        args.u32(0);
        args.opaque("inst0");
        auto reply = call(vxi11::kCreateLink, args.bytes());
        std::int32_t error = -1;
        reply.i32(error);
        reply.i32(link_);
        if (error != 0) {
            throw std::runtime_error("create_link failed");
        }
    }

    std::int32_t write(const std::string& data, bool waitLock, std::uint32_t lockTimeout) {
        oncrpc::XdrWriter args;
        args.i32(link_);
        args.u32(1000);
        args.u32(lockTimeout);
        args.i32(vxi11::kFlagEnd | (waitLock ? vxi11::kFlagWaitLock : 0));
        args.opaque(data);
        return errorOf(vxi11::kDeviceWrite, args.bytes());
    }
    std::string read() {
        oncrpc::XdrWriter args;
        args.i32(link_);
        args.u32(1024);
        args.u32(2000);
        args.u32(0);
        args.i32(0);
        args.i32(0);
        auto reply = call(vxi11::kDeviceRead, args.bytes());
        std::int32_t error = -1;
        std::int32_t reason = 0;
        std::string data;
        reply.i32(error);
        reply.i32(reason);
        reply.opaque(data, 1 << 20);
        if (error != 0 || reason != vxi11::kReasonEnd) {
            throw std::runtime_error("device_read failed");
        }
        if (!data.empty() && data.back() == '\n') {
            data.pop_back();
        }
        return data;
    }
    std::int32_t lock(bool waitLock, std::uint32_t timeout) {
        oncrpc::XdrWriter args;
        args.i32(link_);
        args.i32(waitLock ? vxi11::kFlagWaitLock : 0);
        args.u32(timeout);
        return errorOf(vxi11::kDeviceLock, args.bytes());
    }
    std::int32_t unlock() {
        oncrpc::XdrWriter args;
        args.i32(link_);
        return errorOf(vxi11::kDeviceUnlock, args.bytes());
    }
    std::int32_t readStb() {
        oncrpc::XdrWriter args;
        args.i32(link_);
        args.i32(0);
        args.u32(0);
        args.u32(1000);
        return errorOf(vxi11::kDeviceReadStb, args.bytes());
    }

  private:
    std::int32_t errorOf(std::uint32_t procedure, const std::string& args) {
        auto reply = call(procedure, args);
        std::int32_t error = -1;
        reply.i32(error);
        return error;
    }
    oncrpc::XdrReader call(std::uint32_t procedure, const std::string& args) {
        oncrpc::XdrWriter header;
        for (const std::uint32_t word :
             {++xid_, 0U, 2U, vxi11::kCoreProgram, vxi11::kVersion, procedure, 0U, 0U, 0U, 0U}) {
            header.u32(word);
        }
        asio::write(socket_, asio::buffer(oncrpc::frameRecord(header.bytes() + args)));
        std::vector<std::string> records;
        std::array<char, 4096> buffer{};
        while (records.empty()) {
            const auto n = socket_.read_some(asio::buffer(buffer));
            if (!reader_.feed(std::string_view(buffer.data(), n), records)) {
                throw std::runtime_error("a broken record");
            }
        }
        reply_ = std::move(records.front());
        oncrpc::XdrReader in(reply_);
        std::uint32_t word = 0;
        for (int i = 0; i < 6; ++i) {
            in.u32(word);  // xid, REPLY, accepted, verifier, its length, SUCCESS
        }
        if (!in.ok() || word != 0) {
            throw std::runtime_error("call " + std::to_string(procedure) + " not accepted");
        }
        return oncrpc::XdrReader(in.rest());
    }

    asio::io_context io_;
    asio::ip::tcp::socket socket_;
    oncrpc::RecordReader reader_{1 << 20};
    std::string reply_;
    std::uint32_t xid_ = 0;
    std::int32_t link_ = 0;
};

}  // namespace tpg::test
