// The SCPI errors the instrument queues: their numbers, their standard
// texts and the device-dependent detail that may follow the text after ';'.
#pragma once

#include <array>
#include <string>

#include "scpi/Generator.h"

namespace tpg::scpi {

enum class ErrorCode : int {
    NoError = 0,
    SyntaxError = -102,
    DataTypeError = -104,
    ParameterNotAllowed = -108,
    MissingParameter = -109,
    CommandProtected = -203,
    UndefinedHeader = -113,
    InvalidSuffix = -131,
    DataOutOfRange = -222,
    IllegalParameterValue = -224,
    HardwareError = -240,
    HardwareMissing = -241,
    QueueOverflow = -350,
    InputBufferOverrun = -363,
    QueryUnterminatedAfterIndefinite = -440,
};

// Every code the instrument can queue (NoError aside).
inline constexpr std::array kQueuedErrorCodes = {
    ErrorCode::SyntaxError,           ErrorCode::DataTypeError,
    ErrorCode::ParameterNotAllowed,   ErrorCode::MissingParameter,
    ErrorCode::CommandProtected,      ErrorCode::UndefinedHeader,
    ErrorCode::InvalidSuffix,         ErrorCode::DataOutOfRange,
    ErrorCode::IllegalParameterValue, ErrorCode::HardwareError,
    ErrorCode::HardwareMissing,       ErrorCode::QueueOverflow,
    ErrorCode::InputBufferOverrun,    ErrorCode::QueryUnterminatedAfterIndefinite,
};

// Device-dependent detail is cut to this many bytes (at a character).
inline constexpr std::size_t kMaxErrorDetail = 200;

struct Error {
    ErrorCode code = ErrorCode::NoError;
    std::string detail;  // e.g. "Pulse frequency is between 25kHz and 350MHz"; may be empty
};

// The standard text of a code, e.g. "Data out of range".
const char* errorText(ErrorCode code);

// An error whose detail is made printable and short: control characters
// become blanks, the text is cut to kMaxErrorDetail bytes.
Error makeError(ErrorCode code, std::string_view detail = {});

// -241 "Hardware missing" when no generator is open, -203 "Command
// protected;" with who holds the lock when another client holds it, else
// -240 "Hardware error;" with the failed operation and the system's text.
Error faultError(const Fault& fault);

// The error as SYSTem:ERRor? answers it: the number, a comma and the text
// (with ';' and the detail when there is one) as SCPI string data.
std::string errorResponse(const Error& error);

}  // namespace tpg::scpi
