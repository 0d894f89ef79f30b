#include "oncrpc/Portmapper.h"

#include <array>

#include "oncrpc/Rpc.h"
#include "oncrpc/Xdr.h"

namespace tpg::oncrpc {
namespace {

constexpr std::uint32_t kNull = 0;
constexpr std::uint32_t kSet = 1;
constexpr std::uint32_t kUnset = 2;
constexpr std::uint32_t kGetPort = 3;
constexpr std::uint32_t kDump = 4;

}  // namespace

std::optional<std::string> Portmapper::answer(std::string_view record) const {
    const std::array<ProgramVersions, 1> programs = {
        {{kPortmapperProgram, kPortmapperVersion, kPortmapperVersion}}};
    const Screened screened = screenCall(record, programs);
    if (!screened.call) {
        return screened.reply;
    }
    const Call& call = *screened.call;
    XdrReader in(call.arguments);
    XdrWriter out;
    switch (call.procedure) {
        case kNull:
            break;
        case kSet:
        case kUnset:
        case kGetPort: {
            Mapping asked;
            if (!in.u32(asked.program) || !in.u32(asked.version) || !in.u32(asked.protocol) ||
                !in.u32(asked.port)) {
                return errorReply(call.xid, AcceptStat::GarbageArguments);
            }
            if (call.procedure != kGetPort) {
                out.boolean(false);
                break;
            }
            std::uint32_t port = 0;
            for (const auto& mapping : mappings_) {
                if (mapping.program == asked.program && mapping.version == asked.version &&
                    mapping.protocol == asked.protocol) {
                    port = mapping.port;
                }
            }
            out.u32(port);
            break;
        }
        case kDump:
            for (const auto& mapping : mappings_) {
                out.boolean(true);
                out.u32(mapping.program);
                out.u32(mapping.version);
                out.u32(mapping.protocol);
                out.u32(mapping.port);
            }
            out.boolean(false);
            break;
        default:
            return errorReply(call.xid, AcceptStat::ProcedureUnavailable);
    }
    return successReply(call.xid, out.bytes());
}

}  // namespace tpg::oncrpc
