// The instrument's command tree and how a compound header finds its command.
//
//   [SOURce:]FREQuency[:CW]                          pulse frequency
//   [SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]  amplitude
//   [SOURce:]VOLTage:INDex                           amplitude step index
//   EXTernal:DIRection | :FREQuency | :POLarity      the trigger/sync connector
//   SYSTem:ERRor[:NEXT]?  SYSTem:ERRor:COUNt?  SYSTem:VERSion?
//
// Path rules: a header with a leading ':' starts at the root; one without
// starts at the current path, which is the root at the start of a message
// and after a compound command the node above its last written mnemonic
// ("SOUR:FREQ 1E6;VOLT 1" finds SOUR:VOLT; "EXT:FREQ 1E6;POL NORM" finds
// EXT:POL). Optional nodes may be left out anywhere along the way. Common
// commands (*...) leave the path as it is.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tpg::scpi {

enum class Command {
    PulseFrequency,
    Amplitude,
    AmplitudeIndex,
    ConnectorFunction,
    SyncFrequency,
    Polarity,
    ErrorNext,
    ErrorCount,
    Version,
};

struct Node {
    std::string_view form;  // e.g. "FREQuency"
    bool optional = false;
    std::optional<Command> command;  // the command this node ends, if any
    std::vector<Node> children;
};

// The root of the tree (it has no form of its own).
const Node& commandRoot();

// Whether the command takes a value (a setting) and whether it answers a query.
bool acceptsSet(Command command);
bool acceptsQuery(Command command);

struct Resolved {
    Command command;
    const Node* path;  // the current path after this header
};

// The command named by mnemonics, searched from start; nothing when the
// header is not in the tree.
std::optional<Resolved> resolve(const Node& start, std::span<const std::string> mnemonics);

}  // namespace tpg::scpi
