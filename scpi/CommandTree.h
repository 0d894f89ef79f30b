// The instrument's command tree and how a compound header finds its command.
//
// The commands are one table of header patterns as a manual writes them
// (CommandTree.cpp), read once into a tree: "[SOURce[1]:]FREQuency[:CW]"
// is the nodes SOURce (optional, numbered), FREQuency and CW (optional).
// In a pattern, '[' ... ']' holds optional nodes, "[1]" after a node lets it
// carry the numeric suffix 1, and a final '?' marks a query-only command; a
// command without it takes a value and has a query form as well, unless
// its table entry says it has none.
//
// Numeric suffixes: the generator has one channel, so a numbered node
// written with the suffix 1 is the node itself ("SOUR1:FREQ?" is
// "SOUR:FREQ?") and any other suffix, or a suffix on a node without one,
// is an undefined header (-113).
//
// Path rules: a header with a leading ':' starts at the root; one without
// starts at the current path, which is the root at the start of a message
// and after a compound command the node above its last written mnemonic
// ("SOUR:FREQ 1E6;VOLT 1" finds SOUR:VOLT; "EXT:FREQ 1E6;POL NORM" finds
// EXT:POL; "FREQ?;EXT:FREQ?" looks for FREQ:EXT:FREQ and gives -113, where
// "FREQ?;:EXT:FREQ?" is the way). Optional nodes may be left out anywhere
// along the way. Common commands (*...) leave the path as it is.
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
    ErrorAll,
    ErrorCount,
    Version,
    OperationEvent,
    OperationCondition,
    OperationEnable,
    QuestionableEvent,
    QuestionableCondition,
    QuestionableEnable,
    StatusPreset,
};

struct Node {
    std::string form;  // e.g. "FREQuency"
    bool optional = false;
    bool numbered = false;           // takes the numeric suffix 1
    std::optional<Command> command;  // the command this node ends, if any
    bool set = false;                // the command takes a value
    bool query = false;              // the command has a query form
    std::vector<Node> children;
};

// The root of the tree (it has no form of its own).
const Node& commandRoot();

struct Resolved {
    const Node* node;  // the node that ends the command
    const Node* path;  // the current path after this header
};

// The command named by mnemonics, searched from start; nothing when the
// header is not in the tree.
std::optional<Resolved> resolve(const Node& start, std::span<const std::string> mnemonics);

}  // namespace tpg::scpi
