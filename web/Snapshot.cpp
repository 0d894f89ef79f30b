#include "web/Snapshot.h"

#include <nlohmann/json.hpp>

#include "settings/Defaults.h"
#include "settings/NumberText.h"

namespace tpg::web {

std::string stateJson(const Snapshot& snapshot, const std::optional<std::string>& readOnly,
                      bool signIn) {
    nlohmann::json out;
    out["present"] = snapshot.present;
    out["absence"] = snapshot.absence;
    out["lockedBy"] = snapshot.lockedBy;
    out["readOnly"] = readOnly.value_or("");
    out["signIn"] = signIn;
    if (snapshot.present) {
        const auto& shown = snapshot.shown;
        out["identity"] = {{"lblManuf", snapshot.identity[0]},
                           {"lblProduct", snapshot.identity[1]},
                           {"lblSerialNumber", snapshot.identity[2]},
                           {"lblVersion", snapshot.identity[3]}};
        out["controls"] = {{"Foutput", settings::decimalText(shown.pulseFrequency.value)},
                           {"Vout", shown.amplitudeIndex.value},
                           {"ext_trig_dir", shown.triggerSyncFunction.value},
                           {"ext_sync_freq", settings::decimalText(shown.syncFrequency.value)},
                           {"polarity", shown.polarityIndex.value}};
        // The window lets the sync frequency be entered only while the
        // connector is a sync input.
        out["syncEntry"] = shown.triggerSyncFunction.value == settings::kSyncInput;
    }
    // Invalid UTF-8 from a generator's strings is replaced, not thrown.
    return out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string socketResource(const std::string& host, unsigned port) {
    return "TCPIP::" + host + "::" + std::to_string(port) + "::SOCKET";
}

std::string instrResource(const std::string& host) {
    return "TCPIP::" + host + "::INSTR";
}

std::string escapeMarkup(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                // Control characters are not allowed in XML 1.0.
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                    out += ' ';
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::string identificationXml(const Snapshot& snapshot, const ServedAt& served) {
    const auto element = [](const char* name, const std::string& text) {
        return std::string("  <") + name + ">" + escapeMarkup(text) + "</" + name + ">\n";
    };
    const auto& id = snapshot.identity;
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<LXIDevice xmlns=\"http://www.lxistandard.org/InstrumentIdentification/1.0\"\n"
        "           xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
        "           xsi:schemaLocation=\"http://www.lxistandard.org/InstrumentIdentification/1.0 "
        "http://www.lxistandard.org/InstrumentIdentification/1.0/LXIIdentification.xsd\">\n";
    xml += element("Manufacturer", id[0]);
    xml += element("Model", id[1]);
    xml += element("SerialNumber", id[2]);
    xml += element("FirmwareRevision", id[3]);
    xml += element("ManufacturerDescription", id[0] + " " + id[1] + " pulse generator");
    xml += element("HomepageURL", served.pageUrl);
    xml += element("DriverURL", served.pageUrl + "#instrument");
    xml += element("IdentificationURL", served.pageUrl + "lxi/identification");
    xml += "  <Interface InterfaceType=\"LXI\" InterfaceName=\"TCPIP\">\n";
    for (const auto& resource : served.resources) {
        xml += "  " + element("InstrumentAddressString", resource);
    }
    xml += "  </Interface>\n";
    xml += element("LXIVersion", "1.4");
    xml += "</LXIDevice>\n";
    return xml;
}

}  // namespace tpg::web
