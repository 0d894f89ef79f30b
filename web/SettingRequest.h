// A change the page asks for, as a JSON body, checked with the window's own
// rules before anything is sent:
//   {"control": "Foutput", "text": "12.5e6"}   a frequency box, as typed
//   {"control": "ext_sync_freq", "text": "..."}
//   {"control": "Vout", "index": 339}           a pick in a list
//   {"control": "ext_trig_dir", "index": 1}
//   {"control": "polarity", "index": 0}
//   {"control": "Factory"}                      Restore default settings
// Controls are named as in the window's table. Pure.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/Defaults.h"

namespace tpg::web {

struct CheckedChange {
    enum class Verdict {
        Send,       // reports to send, in order
        Message,    // bad input: the window's message, nothing sent
        Malformed,  // not a change the page makes: 400, nothing sent
    };
    Verdict verdict = Verdict::Malformed;
    std::vector<settings::SettingReport> reports;
    std::string title;    // Message: "Bad input" or "Bad data range"
    std::string message;  // Message: the window's text; Malformed: why
    // What the box shows afterwards, as the window would: a pulse frequency
    // sent is written back whole, a value out of range is replaced by the
    // bound it violates; empty to keep the text as typed.
    std::string boxText;
};

CheckedChange checkChange(std::string_view body);

}  // namespace tpg::web
