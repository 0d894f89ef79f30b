#include "ui/ControlTable.h"

#include <algorithm>

namespace tpg::ui {

namespace {
constexpr std::string_view kSans = "Microsoft Sans Serif";
constexpr std::string_view kArial = "Arial";
using K = ControlKind;
using C = Container;
using I = ControlId;
}  // namespace

// clang-format off
const std::array<ControlRow, kControlCount> kControlTable{{
    // #  id                    name               kind              container      caption                        L     T     W     H     font    pt     tab enabled visible label
    { 1, I::trig_frame,      "trig_frame",      K::Frame,        C::Window,     "External trigger/sync",       120, 4395, 5800, 2500, kSans,  9.75, 15, false, true,  {}},
    { 2, I::SetFsync,        "SetFsync",        K::Button,       C::trig_frame, "Set input frequency, Hz",     2500, 1100, 3045, 420, kSans, 12.0,  23, false, true,  {}},
    { 3, I::polarity,        "polarity",        K::DropDownList, C::trig_frame, "",                            250, 1800, 2000,  420, kSans, 12.0,  21, false, true,  I::Label8},
    { 4, I::ext_sync_freq,   "ext_sync_freq",   K::TextBox,      C::trig_frame, "",                            250, 1100, 2000,  420, kSans, 12.0,  18, false, true,  I::SetFsync},
    { 5, I::ext_trig_dir,    "ext_trig_dir",    K::DropDownList, C::trig_frame, "",                            250,  400, 2000,  420, kSans, 12.0,  16, false, true,  I::Label9},
    { 6, I::Label8,          "Label8",          K::Label,        C::trig_frame, "Polarity",                    2500, 1840, 2700, 420, kSans, 12.0,  22, false, true,  {}},
    { 7, I::Label9,          "Label9",          K::Label,        C::trig_frame, "Trigger/sync function",       2505,  440, 2700, 420, kSans, 12.0,  17, false, true,  {}},
    { 8, I::Factory,         "Factory",         K::Button,       C::Window,     "Restore default settings",    1155, 7245, 3735, 495, kSans, 12.0,   2, true,  true,  {}},
    { 9, I::Frame3,          "Frame3",          K::Frame,        C::Window,     "Pulse output",                105, 2300, 5800, 1800, kSans,  9.75, 11, false, true,  {}},
    {10, I::Foutput,         "Foutput",         K::TextBox,      C::Frame3,     "",                            250,  400, 2000,  420, kSans, 12.0,  20, true,  true,  I::SetFout},
    {11, I::SetFout,         "SetFout",         K::Button,       C::Frame3,     "Pulse frequency, Hz",         2500,  400, 3045, 420, kSans, 12.0,  19, true,  true,  {}},
    {12, I::Vout,            "Vout",            K::DropDownList, C::Frame3,     "",                            250, 1100, 2000,  420, kSans, 12.0,   1, false, true,  I::Label6},
    {13, I::Label7,          "Label7",          K::Label,        C::Frame3,     "Deemphasis, %",               1500, 2220, 2415, 315, kSans,  9.75, 13, false, false, {}},
    {14, I::Label6,          "Label6",          K::Label,        C::Frame3,     "Amplitude into 50R load, mV", 2505, 1140, 3200, 420, kSans, 12.0,  12, false, true,  {}},
    {15, I::Frame1,          "Frame1",          K::Frame,        C::Window,     "Device details",              120,  100, 5800, 1935, kSans,  9.75,  0, false, true,  {}},
    {16, I::SerNo,           "SerNo",           K::DropDownList, C::Frame1,     "",                            1700, 1380, 2055, 360, kSans,  9.75, 14, false, true,  I::Label3},
    {17, I::Timer,           "Timer",           K::Timer,        C::NotDrawn,   "",                               0,    0,    0,   0, "",     0.0,  -1, false, false, {}},
    {18, I::lblSerialNumber, "lblSerialNumber", K::ValueLabel,   C::Frame1,     "",                            1680,  360, 3300, 330, kSans,  9.75, 10, true,  true,  {}},
    {19, I::lblVersion,      "lblVersion",      K::ValueLabel,   C::Frame1,     "",                            1680, 1080, 3300, 330, kSans,  9.75,  9, true,  true,  {}},
    {20, I::lblProduct,      "lblProduct",      K::ValueLabel,   C::Frame1,     "",                            1680,  360, 3300, 330, kArial, 9.75,  8, true,  true,  {}},
    {21, I::lblManuf,        "lblManuf",        K::ValueLabel,   C::Frame1,     "",                            1680,  720, 3300, 330, kSans,  9.75,  7, true,  true,  {}},
    {22, I::Label2,          "Label2",          K::Label,        C::Frame1,     "Version",                     240, 1080, 1455,  285, kSans,  9.75,  6, true,  true,  {}},
    {23, I::Label5,          "Label5",          K::Label,        C::Frame1,     "Product name",                240,  360, 1215,  285, kSans,  9.75,  5, true,  true,  {}},
    {24, I::Label4,          "Label4",          K::Label,        C::Frame1,     "Made by",                     240,  720, 1215,  285, kSans,  9.75,  4, true,  true,  {}},
    {25, I::Label3,          "Label3",          K::Label,        C::Frame1,     "Serial Number",               240, 1440, 1815,  285, kSans,  9.75,  3, true,  true,  {}},
}};
// clang-format on

const WindowRow kWindowRow{"Trelvix Pulse Generator", 6090, 8025, kSans, 8.25, 50};

const ControlRow& row(ControlId id) {
    return kControlTable[static_cast<std::size_t>(id)];
}

std::optional<ControlId> controlNamed(std::string_view name) {
    for (const auto& r : kControlTable) {
        if (r.name == name) {
            return r.id;
        }
    }
    return std::nullopt;
}

std::optional<ControlId> frameOf(Container container) {
    switch (container) {
        case Container::trig_frame:
            return ControlId::trig_frame;
        case Container::Frame3:
            return ControlId::Frame3;
        case Container::Frame1:
            return ControlId::Frame1;
        case Container::Window:
        case Container::NotDrawn:
            return std::nullopt;
    }
    return std::nullopt;
}

std::string_view accessibleName(ControlId id) {
    const ControlRow& r = row(id);
    return r.label ? row(*r.label).caption : r.caption;
}

int twipsToPixels(int twips, int dpi) {
    // Rounded to nearest, halves up (layout values are never negative). At 96
    // dpi a pixel is 15 twips, so multiples of 15 map exactly and any other
    // value (250, 400, 1100, ...) to the nearest whole pixel.
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>((scaled + kTwipsPerInch / 2) / kTwipsPerInch);
}

std::array<ControlId, 9> focusOrder() {
    std::array<const ControlRow*, kControlCount> rows{};
    std::size_t n = 0;
    for (const auto& r : kControlTable) {
        if (takesFocus(r.kind)) {
            rows[n++] = &r;
        }
    }
    std::sort(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(n),
              [](const ControlRow* a, const ControlRow* b) { return a->tabIndex < b->tabIndex; });
    std::array<ControlId, 9> order{};
    for (std::size_t i = 0; i < order.size() && i < n; ++i) {
        order[i] = rows[i]->id;
    }
    return order;
}

namespace {

int stackingLayer(ControlKind kind) {
    switch (kind) {
        case ControlKind::Frame:
            return 0;
        case ControlKind::Label:
        case ControlKind::ValueLabel:
            return 1;
        case ControlKind::Button:
        case ControlKind::DropDownList:
        case ControlKind::TextBox:
        case ControlKind::Timer:
            break;
    }
    return 2;
}

}  // namespace

std::array<ControlId, kControlCount - 1> stackingOrder() {
    std::array<const ControlRow*, kControlCount - 1> rows{};
    std::size_t n = 0;
    for (const auto& r : kControlTable) {
        if (r.kind != ControlKind::Timer) {
            rows[n++] = &r;
        }
    }
    std::sort(rows.begin(), rows.end(), [](const ControlRow* a, const ControlRow* b) {
        const int layerA = stackingLayer(a->kind);
        const int layerB = stackingLayer(b->kind);
        return layerA != layerB ? layerA < layerB : a->tabIndex > b->tabIndex;
    });
    std::array<ControlId, kControlCount - 1> order{};
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = rows[i]->id;
    }
    return order;
}

}  // namespace tpg::ui
