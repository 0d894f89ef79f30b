#include "web/Access.h"

#include <algorithm>
#include <array>
#include <cctype>

#include <asio/ip/address.hpp>

namespace tpg::web {
namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool isAddressLiteral(const std::string& name) {
    std::error_code failure;
    const auto address = asio::ip::make_address(name, failure);
    // make_address reads "1" or "0x7f.1" on some systems; only the dotted
    // quad and IPv6 text count as literals here.
    return !failure && (address.is_v6() || std::count(name.begin(), name.end(), '.') == 3);
}

std::optional<std::string> decodeBase64(std::string_view text) {
    static constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '=') {
            // Padding only in the last two places, and nothing after it.
            if (i + 2 < text.size() || text.substr(i).find_first_not_of('=') != std::string::npos) {
                return std::nullopt;
            }
            break;
        }
        const auto value = kAlphabet.find(c);
        if (value == std::string_view::npos) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return out;
}

}  // namespace

bool hostAllowed(std::string_view host, const HostRule& rule) {
    std::string name;
    std::string_view port;
    if (host.starts_with('[')) {
        const auto close = host.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        name = lower(host.substr(1, close - 1));
        const auto rest = host.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) {
            return false;
        }
        port = rest.empty() ? rest : rest.substr(1);
        if (!isAddressLiteral(name) || name.find(':') == std::string::npos) {
            return false;
        }
    } else {
        const auto colon = host.find(':');
        name = lower(host.substr(0, colon));
        port = colon == std::string_view::npos ? std::string_view() : host.substr(colon + 1);
        if (port.find(':') != std::string_view::npos) {
            return false;
        }
    }
    if (name.ends_with('.')) {
        name.pop_back();
    }
    if (name.empty()) {
        return false;
    }
    unsigned portNumber = 80;
    if (!port.empty() || host.ends_with(':')) {
        if (port.empty() || port.size() > 5 ||
            !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return false;
        }
        portNumber = static_cast<unsigned>(std::stoul(std::string(port)));
    }
    if (portNumber != rule.port) {
        return false;
    }
    if (std::find(rule.names.begin(), rule.names.end(), name) != rule.names.end()) {
        return true;
    }
    return rule.anyAddress && isAddressLiteral(name);
}

bool originAllowed(std::string_view origin, std::string_view host) {
    return origin.empty() || lower(origin) == "http://" + lower(host);
}

std::optional<std::string> basicPassword(std::string_view authorization) {
    constexpr std::string_view kScheme = "basic ";
    if (authorization.size() < kScheme.size() ||
        lower(authorization.substr(0, kScheme.size())) != kScheme) {
        return std::nullopt;
    }
    auto encoded = authorization.substr(kScheme.size());
    while (encoded.starts_with(' ')) {
        encoded.remove_prefix(1);
    }
    const auto decoded = decodeBase64(encoded);
    if (!decoded) {
        return std::nullopt;
    }
    const auto colon = decoded->find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    return decoded->substr(colon + 1);
}

bool samePassword(std::string_view given, std::string_view expected) {
    unsigned char difference = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i) {
        const char e = expected.empty() ? '\0' : expected[i % expected.size()];
        difference |= static_cast<unsigned char>(given[i] ^ e);
    }
    return difference == 0;
}

std::optional<Refusal> refuseChange(const Request& request, const ChangeRule& rule) {
    if (!originAllowed(request.origin, request.host)) {
        return Refusal{403,
                       "changes are taken only from this page (Origin " + request.origin + ")"};
    }
    if (request.fetchSite == "cross-site" || request.fetchSite == "same-site") {
        return Refusal{403, "changes are taken only from this page"};
    }
    const auto type = lower(request.contentType);
    if (type != "application/json" && !type.starts_with("application/json;")) {
        return Refusal{415, "a change is a JSON body (Content-Type: application/json)"};
    }
    if (rule.loopback) {
        return std::nullopt;
    }
    if (!rule.password) {
        return Refusal{403, *readOnlyReason(rule)};
    }
    const auto given = basicPassword(request.authorization);
    if (!given || !samePassword(*given, *rule.password)) {
        return Refusal{401, "changing settings needs the password", true};
    }
    return std::nullopt;
}

std::optional<std::string> readOnlyReason(const ChangeRule& rule) {
    if (rule.loopback || rule.password) {
        return std::nullopt;
    }
    return "read-only on this address: serve was given no --http-password-file";
}

}  // namespace tpg::web
