// What the window tool makes of its command line: --help and --version print
// their text and end the program before any window opens; every other
// argument is ignored, as it always was.
#pragma once

#include <string>
#include <vector>

namespace tpg::apps {

enum class ToolRequest { Window, Help, Version };

// --help (or -h) wins over --version wherever each stands.
ToolRequest toolRequest(const std::vector<std::string>& arguments);

// The text printed for a request other than Window, ending in a newline.
std::string toolRequestText(ToolRequest request);

// The same text for a message box, which wraps lines itself: the lines of a
// paragraph, wrapped for a console, joined into one; blank lines and
// indented lines (the list of options) stay as they are.
std::string unwrapParagraphs(const std::string& text);

}  // namespace tpg::apps
