// The command line of trelvix-pulse-cli: options, the command and its
// operands, and the help texts.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tpg::cli {

enum class Command { None, List, Show, Set, Defaults, Apply, Serve };

struct Invocation {
    Command command = Command::None;
    std::optional<std::string> serial;      // --serial, matched exactly
    bool json = false;                      // --json: list and show
    bool exact = false;                     // --exact: set and apply
    bool help = false;                      // --help / -h
    bool version = false;                   // --version
    std::vector<std::string> operands;      // set's NAME=VALUE..., apply's FILE
    bool simulate = false;                  // --simulate: the demo's bench, not the HID devices
    std::optional<std::string> listen;      // --listen HOST:PORT: serve
    std::optional<std::string> maxClients;  // --max-clients N: serve
    bool mdns = true;                       // serve announces itself; --no-mdns: not
    bool noVxi11 = false;                   // --no-vxi11: serve the socket only
    std::optional<std::string> vxi11Port;   // --vxi11-port PORT: serve's VXI-11 core channel
    std::optional<std::string> http;        // --http HOST:PORT: serve's page
    bool noHttp = false;                    // --no-http: serve without the page
    std::optional<std::string> httpPasswordFile;  // --http-password-file FILE
};

// Reads the arguments after the program name. Options may stand before or
// after the command; "--" ends the options. False, with the reason in
// error, for bad usage. With --help the command's operands are not checked.
bool parseArguments(const std::vector<std::string>& args, Invocation& out, std::string& error);

// The help of the program (Command::None) or of one command.
std::string helpText(Command command);

}  // namespace tpg::cli
