// Lines that are not SCPI but another protocol's, which the line server
// closes a connection for before anything of it runs: a browser's (or
// curl's) HTTP request would otherwise have its body run as commands, so
// that any web page could drive the generator through the SCPI port.
#pragma once

#include <string_view>

namespace tpg::server {

// An HTTP request line ("POST / HTTP/1.1") or header line ("Host: x",
// "Origin: https://example.org"): a token, a colon and a blank. No SCPI
// program message has either form: a header's colon is never followed by
// a blank, and SCPI has no "HTTP/" word.
bool isHttpLine(std::string_view line);

}  // namespace tpg::server
