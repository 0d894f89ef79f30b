// The VXI-11 channels' programs, procedures, and the XDR form of their
// arguments and replies. Pure. Decoding fails (false) on arguments that are
// short, or whose data passes the bound given.
#pragma once

#include <cstdint>
#include <string>

#include "oncrpc/Xdr.h"

namespace tpg::vxi11 {

inline constexpr std::uint32_t kCoreProgram = 0x0607AF;
inline constexpr std::uint32_t kAbortProgram = 0x0607B0;
inline constexpr std::uint32_t kVersion = 1;

enum Procedure : std::uint32_t {
    kDeviceAbort = 1,  // on the abort channel
    kCreateLink = 10,
    kDeviceWrite = 11,
    kDeviceRead = 12,
    kDeviceReadStb = 13,
    kDeviceTrigger = 14,
    kDeviceClear = 15,
    kDeviceRemote = 16,
    kDeviceLocal = 17,
    kDeviceLock = 18,
    kDeviceUnlock = 19,
    kDeviceEnableSrq = 20,
    kDeviceDoCmd = 22,
    kDestroyLink = 23,
    kCreateIntrChan = 25,
    kDestroyIntrChan = 26,
};

enum ErrorCode : std::int32_t {
    kNoError = 0,
    kSyntaxError = 1,
    kDeviceNotAccessible = 3,
    kInvalidLink = 4,
    kParameterError = 5,
    kChannelNotEstablished = 6,
    kNotSupported = 8,
    kOutOfResources = 9,
    kLockedByAnother = 11,
    kNoLockHeld = 12,
    kIoTimeout = 15,
    kAborted = 23,
};

// Operation flags and read reasons.
inline constexpr std::int32_t kFlagWaitLock = 0x01;
inline constexpr std::int32_t kFlagEnd = 0x08;
inline constexpr std::int32_t kFlagTermChar = 0x80;
inline constexpr std::int32_t kReasonRequestCount = 0x01;
inline constexpr std::int32_t kReasonTermChar = 0x02;
inline constexpr std::int32_t kReasonEnd = 0x04;

struct CreateLinkParms {
    std::int32_t clientId = 0;
    bool lockDevice = false;
    std::uint32_t lockTimeout = 0;
    std::string device;
};

struct WriteParms {
    std::int32_t link = 0;
    std::uint32_t ioTimeout = 0;
    std::uint32_t lockTimeout = 0;
    std::int32_t flags = 0;
    std::string data;
};

struct ReadParms {
    std::int32_t link = 0;
    std::uint32_t requestSize = 0;
    std::uint32_t ioTimeout = 0;
    std::uint32_t lockTimeout = 0;
    std::int32_t flags = 0;
    char termChar = 0;
};

// Device_GenericParms (readstb, trigger, clear, remote, local) and
// Device_LockParms (whose io_timeout is absent: left 0).
struct GenericParms {
    std::int32_t link = 0;
    std::int32_t flags = 0;
    std::uint32_t lockTimeout = 0;
    std::uint32_t ioTimeout = 0;
};

bool decode(oncrpc::XdrReader& in, CreateLinkParms& out, std::size_t maxName);
bool decode(oncrpc::XdrReader& in, WriteParms& out, std::size_t maxData);
bool decode(oncrpc::XdrReader& in, ReadParms& out);
bool decodeGeneric(oncrpc::XdrReader& in, GenericParms& out);
bool decodeLock(oncrpc::XdrReader& in, GenericParms& out);
// Device_Link alone (unlock, destroy_link, abort).
bool decodeLink(oncrpc::XdrReader& in, std::int32_t& link);

std::string createLinkReply(std::int32_t error, std::int32_t link, std::uint16_t abortPort,
                            std::uint32_t maxRecvSize);
std::string writeReply(std::int32_t error, std::uint32_t size);
std::string readReply(std::int32_t error, std::int32_t reason, std::string_view data);
std::string readStbReply(std::int32_t error, std::uint8_t stb);
std::string errorOnly(std::int32_t error);

}  // namespace tpg::vxi11
