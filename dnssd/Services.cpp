#include "dnssd/Services.h"

namespace tpg::dnssd {
namespace {

// The length of the well-formed UTF-8 sequence at text[at], or 0 when the
// byte there does not begin one (stray continuation byte, overlong form,
// surrogate, past U+10FFFF, cut short).
std::size_t sequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

std::string fitUtf8(std::string_view text, std::size_t maxBytes) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = sequenceLength(text, at);
        std::string_view piece = length == 0 ? kReplacement : text.substr(at, length);
        const auto byte = static_cast<unsigned char>(text[at]);
        if (length == 1 && (byte < 0x20 || byte == 0x7F)) {
            piece = " ";
        }
        if (out.size() + piece.size() > maxBytes) {
            break;
        }
        out += piece;
        at += length == 0 ? 1 : length;
    }
    return out;
}

std::string instanceName(std::string_view serial, std::string_view host) {
    std::string name = "Trelvix Pulse Generator ";
    name += serial;
    name += " on ";
    name += host;
    return fitUtf8(name, kMaxInstanceName);
}

std::vector<std::string> txtRecord(const InstrumentIdentity& identity) {
    const auto entry = [](std::string_view key, std::string_view value) {
        std::string text(key);
        text += '=';
        return text + fitUtf8(value, kMaxTxtString - text.size());
    };
    return {"txtvers=1", entry("Manufacturer", identity.maker), entry("Model", identity.product),
            entry("SerialNumber", identity.serial), entry("FirmwareVersion", identity.version)};
}

ServiceSet servicesFor(const InstrumentIdentity& identity, const ServicePorts& ports,
                       std::string_view host) {
    ServiceSet set{instanceName(identity.serial, host), txtRecord(identity), {}};
    if (ports.scpiRaw) {
        set.services.push_back({"_scpi-raw._tcp", *ports.scpiRaw});
    }
    if (ports.vxi11) {
        set.services.push_back({"_vxi-11._tcp", *ports.vxi11});
    }
    if (ports.lxi) {
        set.services.push_back({"_lxi._tcp", *ports.lxi});
    }
    return set;
}

}  // namespace tpg::dnssd
