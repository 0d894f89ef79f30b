#include "server/ForeignProtocol.h"

#include <cstddef>

namespace tpg::server {
namespace {

// HTTP's token characters: a method or a header name.
bool isTokenChar(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

std::size_t tokenLength(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && isTokenChar(text[n])) {
        ++n;
    }
    return n;
}

}  // namespace

bool isHttpLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    const std::size_t token = tokenLength(line);
    if (token == 0 || token == line.size()) {
        return false;
    }
    // A header: NAME: value (the value may be empty).
    if (line[token] == ':' &&
        (token + 1 == line.size() || line[token + 1] == ' ' || line[token + 1] == '\t')) {
        return true;
    }
    // A request line: METHOD SP TARGET SP HTTP/1.x (or HTTP/2, HTTP/3).
    if (line[token] != ' ') {
        return false;
    }
    const std::size_t lastSpace = line.rfind(' ');
    const std::string_view version = line.substr(lastSpace + 1);
    return lastSpace > token && version.starts_with("HTTP/") && version.size() >= 6;
}

}  // namespace tpg::server
