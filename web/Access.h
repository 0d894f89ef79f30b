// Who may reach the web page's server, and who may change the generator
// through it. Pure. A page of another site open in the same browser must not
// drive the generator: the Host header must name this server (an address
// literal cannot be rebound by DNS; a name must be this machine's), a
// change must come from the page's own origin, with a JSON body, and on an
// address other than loopback it needs the password given to serve.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/HttpCodec.h"

namespace tpg::web {

struct HostRule {
    // The names and address literals (lower case, IPv6 without brackets)
    // the Host header may give.
    std::vector<std::string> names;
    // Listening on every address: any address literal is this machine's.
    bool anyAddress = false;
    unsigned port = 0;
};

// Whether a Host header names the server: a name or address of the rule,
// the listen port (80 when the header gives none).
bool hostAllowed(std::string_view host, const HostRule& rule);

// Whether a change may come from origin: absent (not sent by a browser on
// a page of another site), or exactly the page's own "http://" + host.
bool originAllowed(std::string_view origin, std::string_view host);

// The password of an "Authorization: Basic ..." header (any user name), or
// nothing when the header is not a well-formed Basic one.
std::optional<std::string> basicPassword(std::string_view authorization);

// Compares in a time that depends only on the lengths.
bool samePassword(std::string_view given, std::string_view expected);

// Why a change is refused, as the answer's status and text.
struct Refusal {
    int status;
    std::string text;
    bool askPassword = false;  // 401: the answer carries WWW-Authenticate
};

struct ChangeRule {
    bool loopback = false;                // the request came to a loopback address
    std::optional<std::string> password;  // --http-password-file's password
};

// Whether the request may change the generator (its Host already allowed);
// nothing when it may.
std::optional<Refusal> refuseChange(const Request& request, const ChangeRule& rule);

// Whether the page served on this connection may change settings at all,
// and if not why: the text the page shows.
std::optional<std::string> readOnlyReason(const ChangeRule& rule);

}  // namespace tpg::web
