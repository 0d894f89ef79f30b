// The two forms of a SCPI mnemonic, written as the command tree writes it:
// "FREQuency" has the short form "FREQ" (its upper-case letters) and the
// long form "FREQUENCY". A mnemonic is accepted in either form, in any
// case, and in no other (not "FREQU").
#pragma once

#include <string>
#include <string_view>

namespace tpg::scpi {

bool matchesForm(std::string_view form, std::string_view written);

// The short form in upper case, as answers give a choice: "OUTPut" gives "OUTP".
std::string shortForm(std::string_view form);

}  // namespace tpg::scpi
