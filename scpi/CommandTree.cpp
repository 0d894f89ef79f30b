#include "scpi/CommandTree.h"

#include <array>

#include "scpi/Mnemonic.h"

namespace tpg::scpi {
namespace {

struct Entry {
    std::string_view pattern;
    Command command;
    bool query = true;  // a command that takes a value also has a query form
};

constexpr bool kNoQuery = false;

// The commands as the README lists them.
constexpr std::array<Entry, 17> kCommands = {{
    {"[SOURce[1]:]FREQuency[:CW]", Command::PulseFrequency},
    {"[SOURce[1]:]VOLTage[:LEVel][:IMMediate][:AMPLitude]", Command::Amplitude},
    {"[SOURce[1]:]VOLTage:INDex", Command::AmplitudeIndex},
    {"EXTernal:DIRection", Command::ConnectorFunction},
    {"EXTernal:FREQuency", Command::SyncFrequency},
    {"EXTernal:POLarity", Command::Polarity},
    {"SYSTem:ERRor[:NEXT]?", Command::ErrorNext},
    {"SYSTem:ERRor:ALL?", Command::ErrorAll},
    {"SYSTem:ERRor:COUNt?", Command::ErrorCount},
    {"SYSTem:VERSion?", Command::Version},
    {"STATus:OPERation[:EVENt]?", Command::OperationEvent},
    {"STATus:OPERation:CONDition?", Command::OperationCondition},
    {"STATus:OPERation:ENABle", Command::OperationEnable},
    {"STATus:QUEStionable[:EVENt]?", Command::QuestionableEvent},
    {"STATus:QUEStionable:CONDition?", Command::QuestionableCondition},
    {"STATus:QUEStionable:ENABle", Command::QuestionableEnable},
    {"STATus:PRESet", Command::StatusPreset, kNoQuery},
}};

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The child of parent with this form, added when there is none yet.
Node& childFor(Node& parent, const Node& wanted) {
    for (Node& child : parent.children) {
        if (child.form == wanted.form && child.optional == wanted.optional &&
            child.numbered == wanted.numbered) {
            return child;
        }
    }
    parent.children.push_back(wanted);
    return parent.children.back();
}

// Reads one pattern and adds its nodes below root.
void add(Node& root, const Entry& entry) {
    std::vector<Node> nodes;
    bool queryOnly = false;
    int depth = 0;  // inside this many '['
    const std::string_view p = entry.pattern;
    for (std::size_t i = 0; i < p.size();) {
        if (p.substr(i, 3) == "[1]") {
            nodes.back().numbered = true;
            i += 3;
        } else if (p[i] == '[' || p[i] == ']') {
            depth += p[i] == '[' ? 1 : -1;
            ++i;
        } else if (p[i] == '?') {
            queryOnly = true;
            ++i;
        } else if (isLetter(p[i])) {
            Node node;
            node.optional = depth > 0;
            while (i < p.size() && isLetter(p[i])) {
                node.form += p[i++];
            }
            nodes.push_back(std::move(node));
        } else {
            ++i;  // the ':' between nodes
        }
    }
    Node* at = &root;
    for (const Node& node : nodes) {
        at = &childFor(*at, node);
    }
    at->command = entry.command;
    at->set = !queryOnly;
    at->query = queryOnly || entry.query;
}

Node buildTree() {
    Node root;
    for (const Entry& entry : kCommands) {
        add(root, entry);
    }
    return root;
}

// A written mnemonic names the node: its form, and for a numbered node
// also its form with the suffix 1.
bool names(const Node& node, std::string_view written) {
    const std::size_t letters = written.find_first_of("0123456789");
    if (letters == std::string_view::npos) {
        return matchesForm(node.form, written);
    }
    const std::string_view suffix = written.substr(letters);
    const std::size_t nonZero = suffix.find_first_not_of('0');
    return node.numbered && nonZero != std::string_view::npos && suffix.substr(nonZero) == "1" &&
           matchesForm(node.form, written.substr(0, letters));
}

// Searches below node for mnemonics[i...]; parent is the node above the
// last mnemonic matched so far.
bool descend(const Node& node, std::span<const std::string> mnemonics, std::size_t i,
             const Node* parent, Resolved& out) {
    if (i == mnemonics.size()) {
        if (node.command) {
            out = {&node, parent};
            return true;
        }
        for (const Node& child : node.children) {
            if (child.optional && descend(child, mnemonics, i, parent, out)) {
                return true;
            }
        }
        return false;
    }
    for (const Node& child : node.children) {
        if (names(child, mnemonics[i]) && descend(child, mnemonics, i + 1, &node, out)) {
            return true;
        }
        if (child.optional && descend(child, mnemonics, i, parent, out)) {
            return true;
        }
    }
    return false;
}

}  // namespace

const Node& commandRoot() {
    static const Node root = buildTree();
    return root;
}

std::optional<Resolved> resolve(const Node& start, std::span<const std::string> mnemonics) {
    Resolved out{};
    if (!mnemonics.empty() && descend(start, mnemonics, 0, &start, out)) {
        return out;
    }
    return std::nullopt;
}

}  // namespace tpg::scpi
