#include "scpi/Errors.h"

#include "settings/NumberText.h"

namespace tpg::scpi {

const char* errorText(ErrorCode code) {
    switch (code) {
        case ErrorCode::NoError:
            return "No error";
        case ErrorCode::SyntaxError:
            return "Syntax error";
        case ErrorCode::DataTypeError:
            return "Data type error";
        case ErrorCode::ParameterNotAllowed:
            return "Parameter not allowed";
        case ErrorCode::MissingParameter:
            return "Missing parameter";
        case ErrorCode::CommandProtected:
            return "Command protected";
        case ErrorCode::UndefinedHeader:
            return "Undefined header";
        case ErrorCode::InvalidSuffix:
            return "Invalid suffix";
        case ErrorCode::DataOutOfRange:
            return "Data out of range";
        case ErrorCode::IllegalParameterValue:
            return "Illegal parameter value";
        case ErrorCode::HardwareError:
            return "Hardware error";
        case ErrorCode::HardwareMissing:
            return "Hardware missing";
        case ErrorCode::QueueOverflow:
            return "Queue overflow";
        case ErrorCode::InputBufferOverrun:
            return "Input buffer overrun";
        case ErrorCode::QueryUnterminatedAfterIndefinite:
            return "Query UNTERMINATED after indefinite response";
    }
    return "Unknown error";
}

Error makeError(ErrorCode code, std::string_view detail) {
    std::string clean;
    for (const char c : detail) {
        const auto byte = static_cast<unsigned char>(c);
        clean += byte < 0x20 || byte == 0x7F ? ' ' : c;
    }
    // System texts often end in a line break: no blanks at the ends.
    const auto first = clean.find_first_not_of(' ');
    clean = first == std::string::npos
                ? ""
                : clean.substr(first, clean.find_last_not_of(' ') + 1 - first);
    if (clean.size() > kMaxErrorDetail) {
        std::size_t cut = kMaxErrorDetail;
        // Not inside a UTF-8 sequence: back to the byte that starts one.
        while (cut > 0 && (static_cast<unsigned char>(clean[cut]) & 0xC0U) == 0x80U) {
            --cut;
        }
        clean.resize(cut);
    }
    return {code, clean};
}

Error faultError(const Fault& fault) {
    if (fault.locked) {
        return makeError(ErrorCode::CommandProtected, fault.text);
    }
    return fault.missing ? makeError(ErrorCode::HardwareMissing)
                         : makeError(ErrorCode::HardwareError, fault.text);
}

std::string errorResponse(const Error& error) {
    std::string text = errorText(error.code);
    if (!error.detail.empty()) {
        text += ';' + error.detail;
    }
    std::string out = settings::decimalText(static_cast<int>(error.code)) + ",\"";
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';  // a quote inside string data is doubled
        }
    }
    return out + '"';
}

}  // namespace tpg::scpi
