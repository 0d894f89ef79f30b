// ONC RPC records as a VXI-11 client or a portmapper client might send them.
//
// Record marking: the input's first byte chooses the sizes of the pieces
// the stream arrives in; the records read are the same whatever the
// pieces, none is longer than the limit, and each framed again reads back
// as itself. A stream that breaks the limit stays broken.
//
// Calls: every record is screened as the core channel does; a reply, when
// there is one, carries the call's transaction id, is a REPLY, and is a few
// words long. The portmapper's reply to any record is bounded (its table
// has three entries) and carries the transaction id.
//
// XDR and VXI-11: the arguments decode as each procedure's parameters or
// fail without reading past the record; variable-length data read is
// within its bound and encodes back to the bytes it was read from. Data
// decoded as device_write's goes to a link over a generator; the messages
// run to their end within a bounded number of steps, and a read returns
// no more than it asked for and empties the answers in bounded reads.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Check.h"
#include "RecordingGenerator.h"
#include "lock/GeneratorLock.h"
#include "oncrpc/Portmapper.h"
#include "oncrpc/RecordMarking.h"
#include "oncrpc/Rpc.h"
#include "oncrpc/Xdr.h"
#include "vxi11/Link.h"
#include "vxi11/Messages.h"

namespace {

using namespace tpg;  // NOLINT(google-build-using-namespace)

constexpr std::size_t kMaxRecord = 2048;

std::uint32_t word(std::string_view bytes, std::size_t at) {
    return (std::uint32_t{static_cast<std::uint8_t>(bytes[at])} << 24) |
           (std::uint32_t{static_cast<std::uint8_t>(bytes[at + 1])} << 16) |
           (std::uint32_t{static_cast<std::uint8_t>(bytes[at + 2])} << 8) |
           static_cast<std::uint8_t>(bytes[at + 3]);
}

void checkReply(const std::string& reply, std::string_view record, std::size_t maxBytes) {
    FUZZ_CHECK(reply.size() >= 12 && reply.size() <= maxBytes && reply.size() % 4 == 0);
    FUZZ_CHECK(word(reply, 0) == word(record, 0));  // the call's xid
    FUZZ_CHECK(word(reply, 4) == 1);                // a REPLY
}

void checkOpaque(std::string_view args, std::size_t maxBytes) {
    oncrpc::XdrReader in(args);
    std::string data;
    if (in.opaque(data, maxBytes)) {
        FUZZ_CHECK(data.size() <= maxBytes && in.offset() <= args.size());
        oncrpc::XdrWriter out;
        out.opaque(data);
        FUZZ_CHECK(out.bytes().size() == in.offset());
        // The padding is not checked on reading: compare the data only.
        FUZZ_CHECK(out.bytes().substr(0, 4 + data.size()) == args.substr(0, 4 + data.size()));
    } else {
        FUZZ_CHECK(!in.ok());
        std::uint32_t more = 0;
        FUZZ_CHECK(!in.u32(more));  // a failed reader stays failed
    }
}

void runLink(std::string_view args) {
    vxi11::WriteParms write;
    oncrpc::XdrReader in(args);
    if (!vxi11::decode(in, write, kMaxRecord)) {
        return;
    }
    test::RecordingGenerator generator;
    lock::GeneratorLock lock;
    vxi11::Link link(generator, lock, "fuzz", {256, 4096, 8});
    link.write(write.data, (write.flags & vxi11::kFlagEnd) != 0);
    std::size_t steps = 0;
    while (link.step()) {
        FUZZ_CHECK(++steps <= 8 * (write.data.size() + 1));
    }
    FUZZ_CHECK(!link.busy());
    const std::size_t request = write.ioTimeout % 64;
    for (std::size_t reads = 0; link.answerWaiting(); ++reads) {
        FUZZ_CHECK(reads <= 4096);
        const auto read = link.read(request, '\n');
        FUZZ_CHECK(read && !read->data.empty() &&
                   read->data.size() <= std::max<std::size_t>(request, 1));
        FUZZ_CHECK(read->reason != 0);
    }
    link.clear();
    FUZZ_CHECK(!link.answerWaiting() && !link.read(16, std::nullopt));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t piece = data[0] % 17 + 1;
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);

    oncrpc::RecordReader whole(kMaxRecord);
    std::vector<std::string> records;
    const bool wholeOk = whole.feed(stream, records);
    oncrpc::RecordReader pieces(kMaxRecord);
    std::vector<std::string> pieceRecords;
    bool piecesOk = true;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        piecesOk = pieces.feed(stream.substr(at, piece), pieceRecords) && piecesOk;
    }
    FUZZ_CHECK(wholeOk == piecesOk && records == pieceRecords);
    FUZZ_CHECK(!wholeOk || whole.pending() <= kMaxRecord);
    if (!wholeOk) {
        std::vector<std::string> after;
        FUZZ_CHECK(!whole.feed("\x80\x00\x00\x00", after) && after.empty());
    }

    oncrpc::Portmapper portmapper;
    portmapper.add({vxi11::kCoreProgram, vxi11::kVersion, oncrpc::kProtocolTcp, 1024});
    portmapper.add({oncrpc::kPortmapperProgram, 2, oncrpc::kProtocolTcp, 111});
    portmapper.add({oncrpc::kPortmapperProgram, 2, oncrpc::kProtocolUdp, 111});
    const oncrpc::ProgramVersions core[] = {{vxi11::kCoreProgram, 1, 1}};

    for (const auto& record : records) {
        FUZZ_CHECK(record.size() <= kMaxRecord);
        oncrpc::RecordReader again(kMaxRecord);
        std::vector<std::string> back;
        FUZZ_CHECK(again.feed(oncrpc::frameRecord(record), back) && back.size() == 1 &&
                   back[0] == record);

        const auto screened = oncrpc::screenCall(record, core);
        FUZZ_CHECK(!(screened.call && screened.reply));
        if (screened.reply) {
            checkReply(*screened.reply, record, 32);
        }
        if (const auto reply = portmapper.answer(record)) {
            checkReply(*reply, record, 24 + 4 + 3 * 20 + 4);
        }
        if (screened.call) {
            const std::string_view args = screened.call->arguments;
            FUZZ_CHECK(args.size() <= record.size());
            vxi11::CreateLinkParms create;
            vxi11::ReadParms read;
            vxi11::GenericParms generic;
            oncrpc::XdrReader a(args);
            oncrpc::XdrReader b(args);
            oncrpc::XdrReader c(args);
            if (vxi11::decode(a, create, 64)) {
                FUZZ_CHECK(create.device.size() <= 64);
            }
            (void)vxi11::decode(b, read);
            (void)vxi11::decodeGeneric(c, generic);
            FUZZ_CHECK(a.offset() <= args.size() && b.offset() <= args.size() &&
                       c.offset() <= args.size());
            checkOpaque(args, 64);
            runLink(args);
        }
    }
    return 0;
}
