#include "scpi/Mnemonic.h"

namespace tpg::scpi {
namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upper(a[i]) != upper(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string shortForm(std::string_view form) {
    std::string out;
    for (const char c : form) {
        if (upper(c) != c) {
            break;
        }
        out += c;
    }
    return out;
}

bool matchesForm(std::string_view form, std::string_view written) {
    return sameLetters(form, written) || sameLetters(shortForm(form), written);
}

}  // namespace tpg::scpi
