#include "oncrpc/Rpc.h"

#include "oncrpc/Xdr.h"

namespace tpg::oncrpc {
namespace {

constexpr std::uint32_t kCallMessage = 0;
constexpr std::uint32_t kReplyMessage = 1;
constexpr std::uint32_t kRpcVersion = 2;
constexpr std::uint32_t kAccepted = 0;
constexpr std::uint32_t kDenied = 1;
constexpr std::uint32_t kRpcMismatch = 0;
constexpr std::uint32_t kAuthError = 1;
constexpr std::uint32_t kAuthBadCredential = 1;
constexpr std::uint32_t kAuthNone = 0;
constexpr std::uint32_t kAuthSys = 1;

XdrWriter replyHead(std::uint32_t xid, std::uint32_t status) {
    XdrWriter out;
    out.u32(xid);
    out.u32(kReplyMessage);
    out.u32(status);
    return out;
}

XdrWriter acceptedHead(std::uint32_t xid, AcceptStat status) {
    XdrWriter out = replyHead(xid, kAccepted);
    out.u32(kAuthNone);  // verifier
    out.opaque({});
    out.u32(static_cast<std::uint32_t>(status));
    return out;
}

std::string denied(std::uint32_t xid, std::uint32_t reason, std::uint32_t a, std::uint32_t b,
                   bool twoWords) {
    XdrWriter out = replyHead(xid, kDenied);
    out.u32(reason);
    out.u32(a);
    if (twoWords) {
        out.u32(b);
    }
    return out.take();
}

}  // namespace

Screened screenCall(std::string_view record, std::span<const ProgramVersions> programs) {
    XdrReader in(record);
    Call call;
    std::uint32_t type = 0;
    if (!in.u32(call.xid) || !in.u32(type) || type != kCallMessage) {
        return {};
    }
    std::uint32_t rpcVersion = 0;
    if (!in.u32(rpcVersion)) {
        return {std::nullopt, errorReply(call.xid, AcceptStat::GarbageArguments)};
    }
    if (rpcVersion != kRpcVersion) {
        return {std::nullopt, denied(call.xid, kRpcMismatch, kRpcVersion, kRpcVersion, true)};
    }
    std::uint32_t credential = 0;
    std::uint32_t verifier = 0;
    if (!in.u32(call.program) || !in.u32(call.version) || !in.u32(call.procedure) ||
        !in.u32(credential) || !in.skipOpaque(kMaxAuthBytes) || !in.u32(verifier) ||
        !in.skipOpaque(kMaxAuthBytes)) {
        return {std::nullopt, errorReply(call.xid, AcceptStat::GarbageArguments)};
    }
    if ((credential != kAuthNone && credential != kAuthSys) || verifier != kAuthNone) {
        return {std::nullopt, denied(call.xid, kAuthError, kAuthBadCredential, 0, false)};
    }
    for (const auto& program : programs) {
        if (program.program != call.program) {
            continue;
        }
        if (call.version < program.low || call.version > program.high) {
            return {std::nullopt, programMismatchReply(call.xid, program.low, program.high)};
        }
        call.arguments = in.rest();
        return {call, std::nullopt};
    }
    return {std::nullopt, errorReply(call.xid, AcceptStat::ProgramUnavailable)};
}

std::string successReply(std::uint32_t xid, std::string_view results) {
    XdrWriter out = acceptedHead(xid, AcceptStat::Success);
    out.raw(results);
    return out.take();
}

std::string errorReply(std::uint32_t xid, AcceptStat status) {
    return acceptedHead(xid, status).take();
}

std::string programMismatchReply(std::uint32_t xid, std::uint32_t low, std::uint32_t high) {
    XdrWriter out = acceptedHead(xid, AcceptStat::ProgramMismatch);
    out.u32(low);
    out.u32(high);
    return out.take();
}

}  // namespace tpg::oncrpc
