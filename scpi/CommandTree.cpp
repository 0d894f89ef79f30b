#include "scpi/CommandTree.h"

#include "scpi/Mnemonic.h"

namespace tpg::scpi {
namespace {

// Searches below node for mnemonics[i...]; parent is the node above the
// last mnemonic matched so far.
bool descend(const Node& node, std::span<const std::string> mnemonics, std::size_t i,
             const Node* parent, Resolved& out) {
    if (i == mnemonics.size()) {
        if (node.command) {
            out = {*node.command, parent};
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
        if (matchesForm(child.form, mnemonics[i]) && descend(child, mnemonics, i + 1, &node, out)) {
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
    static const Node root{
        "",
        false,
        std::nullopt,
        {
            {"SOURce",
             true,
             std::nullopt,
             {
                 {"FREQuency", false, std::nullopt, {{"CW", true, Command::PulseFrequency, {}}}},
                 {"VOLTage",
                  false,
                  std::nullopt,
                  {
                      {"LEVel",
                       true,
                       std::nullopt,
                       {{"IMMediate",
                         true,
                         std::nullopt,
                         {{"AMPLitude", true, Command::Amplitude, {}}}}}},
                      {"INDex", false, Command::AmplitudeIndex, {}},
                  }},
             }},
            {"EXTernal",
             false,
             std::nullopt,
             {
                 {"DIRection", false, Command::ConnectorFunction, {}},
                 {"FREQuency", false, Command::SyncFrequency, {}},
                 {"POLarity", false, Command::Polarity, {}},
             }},
            {"SYSTem",
             false,
             std::nullopt,
             {
                 {"ERRor",
                  false,
                  std::nullopt,
                  {
                      {"NEXT", true, Command::ErrorNext, {}},
                      {"COUNt", false, Command::ErrorCount, {}},
                  }},
                 {"VERSion", false, Command::Version, {}},
             }},
        }};
    return root;
}

bool acceptsSet(Command command) {
    return command != Command::ErrorNext && command != Command::ErrorCount &&
           command != Command::Version;
}

bool acceptsQuery(Command /*command*/) {
    return true;
}

std::optional<Resolved> resolve(const Node& start, std::span<const std::string> mnemonics) {
    Resolved out{};
    if (!mnemonics.empty() && descend(start, mnemonics, 0, &start, out)) {
        return out;
    }
    return std::nullopt;
}

}  // namespace tpg::scpi
