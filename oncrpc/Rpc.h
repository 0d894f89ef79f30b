// ONC RPC version 2 messages: the call header a server reads and the
// replies it sends. Pure. Credentials of AUTH_NONE and AUTH_SYS are
// accepted (AUTH_SYS is read, not trusted: nothing here depends on who the
// caller says it is); any other flavour is denied as a bad credential.
// Replies carry an AUTH_NONE verifier.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tpg::oncrpc {

enum class AcceptStat : std::uint32_t {
    Success = 0,
    ProgramUnavailable = 1,
    ProgramMismatch = 2,
    ProcedureUnavailable = 3,
    GarbageArguments = 4,
    SystemError = 5,
};

// A program served and the versions it answers.
struct ProgramVersions {
    std::uint32_t program = 0;
    std::uint32_t low = 0;
    std::uint32_t high = 0;
};

struct Call {
    std::uint32_t xid = 0;
    std::uint32_t program = 0;
    std::uint32_t version = 0;
    std::uint32_t procedure = 0;
    std::string_view arguments;  // the rest of the record
};

// What a record is to a server: a call to serve, a call answered at once
// (an unknown program or version, a bad credential, a broken header), or
// nothing to answer (not a call, or too short to hold a transaction id).
struct Screened {
    std::optional<Call> call;
    std::optional<std::string> reply;
};

Screened screenCall(std::string_view record, std::span<const ProgramVersions> programs);

// An accepted call's reply: results (XDR) after SUCCESS.
std::string successReply(std::uint32_t xid, std::string_view results);
// An accepted call that failed (unknown procedure, arguments that do not
// decode, ...).
std::string errorReply(std::uint32_t xid, AcceptStat status);
std::string programMismatchReply(std::uint32_t xid, std::uint32_t low, std::uint32_t high);

// The largest credential or verifier body (RFC 5531).
inline constexpr std::size_t kMaxAuthBytes = 400;

}  // namespace tpg::oncrpc
