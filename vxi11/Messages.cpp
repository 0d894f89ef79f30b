#include "vxi11/Messages.h"

namespace tpg::vxi11 {

using oncrpc::XdrReader;
using oncrpc::XdrWriter;

bool decode(XdrReader& in, CreateLinkParms& out, std::size_t maxName) {
    return in.i32(out.clientId) && in.boolean(out.lockDevice) && in.u32(out.lockTimeout) &&
           in.opaque(out.device, maxName);
}

bool decode(XdrReader& in, WriteParms& out, std::size_t maxData) {
    return in.i32(out.link) && in.u32(out.ioTimeout) && in.u32(out.lockTimeout) &&
           in.i32(out.flags) && in.opaque(out.data, maxData);
}

bool decode(XdrReader& in, ReadParms& out) {
    std::int32_t termChar = 0;
    const bool ok = in.i32(out.link) && in.u32(out.requestSize) && in.u32(out.ioTimeout) &&
                    in.u32(out.lockTimeout) && in.i32(out.flags) && in.i32(termChar);
    out.termChar = static_cast<char>(termChar);
    return ok;
}

bool decodeGeneric(XdrReader& in, GenericParms& out) {
    return in.i32(out.link) && in.i32(out.flags) && in.u32(out.lockTimeout) &&
           in.u32(out.ioTimeout);
}

bool decodeLock(XdrReader& in, GenericParms& out) {
    return in.i32(out.link) && in.i32(out.flags) && in.u32(out.lockTimeout);
}

bool decodeLink(XdrReader& in, std::int32_t& link) {
    return in.i32(link);
}

std::string createLinkReply(std::int32_t error, std::int32_t link, std::uint16_t abortPort,
                            std::uint32_t maxRecvSize) {
    XdrWriter out;
    out.i32(error);
    out.i32(link);
    out.u32(abortPort);
    out.u32(maxRecvSize);
    return out.take();
}

std::string writeReply(std::int32_t error, std::uint32_t size) {
    XdrWriter out;
    out.i32(error);
    out.u32(size);
    return out.take();
}

std::string readReply(std::int32_t error, std::int32_t reason, std::string_view data) {
    XdrWriter out;
    out.i32(error);
    out.i32(reason);
    out.opaque(data);
    return out.take();
}

std::string readStbReply(std::int32_t error, std::uint8_t stb) {
    XdrWriter out;
    out.i32(error);
    out.u32(stb);
    return out.take();
}

std::string errorOnly(std::int32_t error) {
    XdrWriter out;
    out.i32(error);
    return out.take();
}

}  // namespace tpg::vxi11
