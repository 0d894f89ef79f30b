#include "web/Page.h"

#include <algorithm>
#include <vector>

#include "protocol/AmplitudeTable.h"
#include "settings/Defaults.h"
#include "settings/NumberText.h"
#include "ui/ControlTable.h"

namespace tpg::web {
namespace {

using ui::ControlId;
using ui::ControlKind;

std::string caption(ControlId id) {
    return escapeMarkup(std::string(ui::row(id).caption));
}

std::string name(ControlId id) {
    return std::string(ui::row(id).name);
}

// The page's tab order is the window's: its controls that take the focus,
// numbered in the window's order (the serial number list is not on the page).
int tabIndex(ControlId id) {
    int n = 0;
    for (const ControlId focusable : ui::focusOrder()) {
        if (focusable == ControlId::SerNo) {
            continue;
        }
        ++n;
        if (focusable == id) {
            return n;
        }
    }
    return 0;
}

std::string option(int index, std::string_view text, int selected) {
    return "<option value=\"" + std::to_string(index) + "\"" +
           (index == selected ? " selected" : "") + ">" + escapeMarkup(std::string(text)) +
           "</option>";
}

// One input of a frame with its label, the window's caption of the label or
// button beside it, and the place for the window's message.
std::string control(ControlId id, const Snapshot& snapshot, bool disabled) {
    const std::string id_ = name(id);
    const auto& shown = snapshot.shown;
    std::string input;
    const std::string common = " id=\"" + id_ + "\" name=\"" + id_ + "\" tabindex=\"" +
                               std::to_string(tabIndex(id)) + "\" aria-describedby=\"" + id_ +
                               "-message\"" + (disabled ? " disabled" : "");
    if (ui::row(id).kind == ControlKind::TextBox) {
        std::string value;
        if (snapshot.present) {
            value = settings::decimalText(id == ControlId::Foutput ? shown.pulseFrequency.value
                                                                   : shown.syncFrequency.value);
        }
        input =
            "<input type=\"text\" inputmode=\"decimal\" autocomplete=\"off\" spellcheck=\"false\"" +
            common + " value=\"" + value + "\">";
    } else {
        const int selected = !snapshot.present           ? -1
                             : id == ControlId::Vout     ? shown.amplitudeIndex.value
                             : id == ControlId::polarity ? shown.polarityIndex.value
                                                         : shown.triggerSyncFunction.value;
        input = "<select" + common + ">";
        if (id == ControlId::Vout) {
            for (int i = 0; i < protocol::kAmplitudeSteps; ++i) {
                input += option(i, protocol::amplitudeText(i), selected);
            }
        } else {
            const auto& entries =
                id == ControlId::polarity ? ui::kPolarityEntries : ui::kTriggerSyncEntries;
            for (std::size_t i = 0; i < entries.size(); ++i) {
                input += option(static_cast<int>(i), entries[i], selected);
            }
        }
        input += "</select>";
    }
    return "<div class=\"row\">" + input + "<label for=\"" + id_ + "\">" +
           escapeMarkup(std::string(ui::accessibleName(id))) +
           "</label><span class=\"message\" id=\"" + id_ +
           "-message\" aria-live=\"assertive\"></span></div>\n";
}

// A frame's inputs from top to bottom, as the window shows them.
std::string frame(ControlId frameId, ui::Container container, const Snapshot& snapshot,
                  bool disabled) {
    std::vector<const ui::ControlRow*> rows;
    for (const auto& r : ui::kControlTable) {
        if (r.container == container && r.id != ControlId::SerNo &&
            (r.kind == ControlKind::TextBox || r.kind == ControlKind::DropDownList)) {
            rows.push_back(&r);
        }
    }
    std::sort(rows.begin(), rows.end(),
              [](const ui::ControlRow* a, const ui::ControlRow* b) { return a->top < b->top; });
    std::string out =
        "<fieldset id=\"" + name(frameId) + "\"><legend>" + caption(frameId) + "</legend>\n";
    for (const auto* r : rows) {
        const bool syncBox = r->id == ControlId::ext_sync_freq &&
                             snapshot.shown.triggerSyncFunction.value != settings::kSyncInput;
        out += control(r->id, snapshot, disabled || syncBox);
    }
    return out + "</fieldset>\n";
}

}  // namespace

std::string pageHtml(const Snapshot& snapshot, const ServedAt& served,
                     const std::optional<std::string>& readOnly, bool signIn) {
    const std::string title = escapeMarkup(std::string(ui::kWindowRow.caption));
    const bool disabled = !snapshot.present || readOnly.has_value();
    std::string status;
    if (!snapshot.present) {
        status = snapshot.absence;
    } else if (readOnly) {
        status = *readOnly;
    } else if (!snapshot.lockedBy.empty()) {
        status = snapshot.lockedBy;
    }
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>" +
        title +
        "</title>\n<link rel=\"stylesheet\" href=\"/page.css\">\n"
        "<link rel=\"icon\" type=\"image/svg+xml\" href=\"/icon.svg\">\n"
        "<script src=\"/page.js\" defer></script>\n</head>\n<body>\n<main>\n"
        "<h1>" +
        title +
        "</h1>\n"
        "<p id=\"status\" role=\"status\">" +
        escapeMarkup(status) + "</p>\n" + "<p id=\"sign-in\"" + (signIn ? "" : " hidden") +
        "><a href=\"/sign-in\">Sign in to change settings</a></p>\n";
    // The device details: each of the window's captions with its value.
    out += "<fieldset id=\"Frame1\"><legend>" + caption(ControlId::Frame1) + "</legend><dl>\n";
    const std::pair<ControlId, ControlId> details[] = {
        {ControlId::Label5, ControlId::lblProduct},
        {ControlId::Label4, ControlId::lblManuf},
        {ControlId::Label2, ControlId::lblVersion},
        {ControlId::Label3, ControlId::lblSerialNumber},
    };
    const int field[] = {1, 0, 3, 2};  // *IDN?'s field shown by each
    for (std::size_t i = 0; i < std::size(details); ++i) {
        const std::string value = snapshot.present ? snapshot.identity[field[i]] : "";
        out += "<dt>" + caption(details[i].first) + "</dt><dd id=\"" + name(details[i].second) +
               "\">" + escapeMarkup(value) + "</dd>\n";
    }
    out += "</dl></fieldset>\n";
    out += frame(ControlId::Frame3, ui::Container::Frame3, snapshot, disabled);
    out += frame(ControlId::trig_frame, ui::Container::trig_frame, snapshot, disabled);
    out += "<div class=\"row\"><button type=\"button\" id=\"Factory\" tabindex=\"" +
           std::to_string(tabIndex(ControlId::Factory)) +
           "\" aria-describedby=\"Factory-message\"" + (disabled ? " disabled" : "") + ">" +
           caption(ControlId::Factory) +
           "</button><span class=\"message\" id=\"Factory-message\" "
           "aria-live=\"assertive\"></span></div>\n";
    out += "<section id=\"instrument\"><h2>Instrument</h2><dl>\n<dt>Host name</dt><dd>" +
           escapeMarkup(served.hostName) + "</dd>\n<dt>Address</dt><dd>" +
           escapeMarkup(served.address) + "</dd>\n<dt>VISA resources</dt>";
    for (const auto& resource : served.resources) {
        out += "<dd><code>" + escapeMarkup(resource) + "</code></dd>";
    }
    out +=
        "\n<dt>Identification</dt><dd><a href=\"/lxi/identification\">"
        "LXI identification document</a></dd>\n</dl></section>\n</main>\n</body>\n</html>\n";
    return out;
}

}  // namespace tpg::web
