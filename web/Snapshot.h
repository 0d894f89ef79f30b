// What the page shows of the served generator, read at most every half
// second however many pages watch: whether one is present, *IDN?'s four
// fields, the settings as the window shows them, and who holds the lock.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "settings/Readback.h"

namespace tpg::web {

struct Snapshot {
    bool present = false;
    std::string absence;  // why none is shown: "no generator is present", or the fault
    // Maker, product, serial number and version, as *IDN? gives them.
    std::array<std::string, 4> identity;
    settings::ShownState shown;
    std::string lockedBy;  // the lock's refusal while another client holds it
};

// Where and how the generator is served, for the page and the
// identification document.
struct ServedAt {
    std::string hostName;                // the machine's name
    std::string address;                 // the address the page is served on, e.g. "127.0.0.1"
    std::string pageUrl;                 // "http://127.0.0.1:8080/"
    std::vector<std::string> resources;  // VISA resource strings
};

// The page as its script reads it (GET /state). readOnly: why this page may
// not change settings; signIn: a password would let it.
std::string stateJson(const Snapshot& snapshot, const std::optional<std::string>& readOnly,
                      bool signIn);

// "TCPIP::HOST::PORT::SOCKET" and "TCPIP::HOST::INSTR".
std::string socketResource(const std::string& host, unsigned port);
std::string instrResource(const std::string& host);

// The LXI identification document of the generator (GET /lxi/identification).
std::string identificationXml(const Snapshot& snapshot, const ServedAt& served);

// Text made safe inside markup and attribute values (& < > " ').
std::string escapeMarkup(const std::string& text);

}  // namespace tpg::web
