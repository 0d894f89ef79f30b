#include "apps/ToolArguments.h"

#include <algorithm>

#ifndef TPG_VERSION_TEXT
#define TPG_VERSION_TEXT "unknown"
#endif

namespace tpg::apps {

ToolRequest toolRequest(const std::vector<std::string>& arguments) {
    const auto given = [&](const char* option) {
        return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
    };
    if (given("--help") || given("-h")) {
        return ToolRequest::Help;
    }
    if (given("--version")) {
        return ToolRequest::Version;
    }
    return ToolRequest::Window;
}

std::string toolRequestText(ToolRequest request) {
    switch (request) {
        case ToolRequest::Help:
            return "Usage: trelvix-pulse [--help | --version]\n"
                   "\n"
                   "Opens the configuration window for the Trelvix Pulse Generators attached\n"
                   "by USB: pick a generator by its serial number, read its settings and send\n"
                   "changes to it. Other arguments are ignored. For scripts, use\n"
                   "trelvix-pulse-cli.\n"
                   "\n"
                   "  --help     this help\n"
                   "  --version  the program's version\n";
        case ToolRequest::Version:
            return std::string("trelvix-pulse ") + TPG_VERSION_TEXT + "\n";
        case ToolRequest::Window:
            break;
    }
    return {};
}

std::string unwrapParagraphs(const std::string& text) {
    std::string out;
    bool inParagraph = false;  // the last line written is a paragraph's
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        const bool prose = !line.empty() && line.front() != ' ';
        if (inParagraph && prose) {
            out.back() = ' ';  // the previous line's break
        }
        out += line;
        if (end < text.size()) {
            out += '\n';
        }
        inParagraph = prose;
        start = end + 1;
    }
    return out;
}

}  // namespace tpg::apps
