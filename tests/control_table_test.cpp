// The control table against the window's layout, written out here once more
// column by column, and the helpers that skins draw with.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>

#include "Rig.h"
#include "ui/ControlTable.h"

namespace tpg::ui {
namespace {

using K = ControlKind;
using C = Container;
using I = ControlId;

constexpr std::string_view kSans = "Microsoft Sans Serif";

// clang-format off
const ControlRow kExpected[] = {
    { 1, I::trig_frame,      "trig_frame",      K::Frame,        C::Window,     "External trigger/sync",        120, 4395, 5800, 2500, kSans,  9.75, 15, false, true,  {}},
    { 2, I::SetFsync,        "SetFsync",        K::Button,       C::trig_frame, "Set input frequency, Hz",     2500, 1100, 3045,  420, kSans, 12.0,  23, false, true,  {}},
    { 3, I::polarity,        "polarity",        K::DropDownList, C::trig_frame, "",                             250, 1800, 2000,  420, kSans, 12.0,  21, false, true,  I::Label8},
    { 4, I::ext_sync_freq,   "ext_sync_freq",   K::TextBox,      C::trig_frame, "",                             250, 1100, 2000,  420, kSans, 12.0,  18, false, true,  I::SetFsync},
    { 5, I::ext_trig_dir,    "ext_trig_dir",    K::DropDownList, C::trig_frame, "",                             250,  400, 2000,  420, kSans, 12.0,  16, false, true,  I::Label9},
    { 6, I::Label8,          "Label8",          K::Label,        C::trig_frame, "Polarity",                    2500, 1840, 2700,  420, kSans, 12.0,  22, false, true,  {}},
    { 7, I::Label9,          "Label9",          K::Label,        C::trig_frame, "Trigger/sync function",       2505,  440, 2700,  420, kSans, 12.0,  17, false, true,  {}},
    { 8, I::Factory,         "Factory",         K::Button,       C::Window,     "Restore default settings",    1155, 7245, 3735,  495, kSans, 12.0,   2, true,  true,  {}},
    { 9, I::Frame3,          "Frame3",          K::Frame,        C::Window,     "Pulse output",                 105, 2300, 5800, 1800, kSans,  9.75, 11, false, true,  {}},
    {10, I::Foutput,         "Foutput",         K::TextBox,      C::Frame3,     "",                             250,  400, 2000,  420, kSans, 12.0,  20, true,  true,  I::SetFout},
    {11, I::SetFout,         "SetFout",         K::Button,       C::Frame3,     "Pulse frequency, Hz",         2500,  400, 3045,  420, kSans, 12.0,  19, true,  true,  {}},
    {12, I::Vout,            "Vout",            K::DropDownList, C::Frame3,     "",                             250, 1100, 2000,  420, kSans, 12.0,   1, false, true,  I::Label6},
    {13, I::Label7,          "Label7",          K::Label,        C::Frame3,     "Deemphasis, %",               1500, 2220, 2415,  315, kSans,  9.75, 13, false, false, {}},
    {14, I::Label6,          "Label6",          K::Label,        C::Frame3,     "Amplitude into 50R load, mV", 2505, 1140, 3200,  420, kSans, 12.0,  12, false, true,  {}},
    {15, I::Frame1,          "Frame1",          K::Frame,        C::Window,     "Device details",               120,  100, 5800, 1935, kSans,  9.75,  0, false, true,  {}},
    {16, I::SerNo,           "SerNo",           K::DropDownList, C::Frame1,     "",                            1700, 1380, 2055,  360, kSans,  9.75, 14, false, true,  I::Label3},
    {17, I::Timer,           "Timer",           K::Timer,        C::NotDrawn,   "",                               0,    0,    0,    0, "",     0.0,  -1, false, false, {}},
    {18, I::lblSerialNumber, "lblSerialNumber", K::ValueLabel,   C::Frame1,     "",                            1680,  360, 3300,  330, kSans,  9.75, 10, true,  true,  {}},
    {19, I::lblVersion,      "lblVersion",      K::ValueLabel,   C::Frame1,     "",                            1680, 1080, 3300,  330, kSans,  9.75,  9, true,  true,  {}},
    {20, I::lblProduct,      "lblProduct",      K::ValueLabel,   C::Frame1,     "",                            1680,  360, 3300,  330, "Arial", 9.75,  8, true,  true, {}},
    {21, I::lblManuf,        "lblManuf",        K::ValueLabel,   C::Frame1,     "",                            1680,  720, 3300,  330, kSans,  9.75,  7, true,  true,  {}},
    {22, I::Label2,          "Label2",          K::Label,        C::Frame1,     "Version",                      240, 1080, 1455,  285, kSans,  9.75,  6, true,  true,  {}},
    {23, I::Label5,          "Label5",          K::Label,        C::Frame1,     "Product name",                 240,  360, 1215,  285, kSans,  9.75,  5, true,  true,  {}},
    {24, I::Label4,          "Label4",          K::Label,        C::Frame1,     "Made by",                      240,  720, 1215,  285, kSans,  9.75,  4, true,  true,  {}},
    {25, I::Label3,          "Label3",          K::Label,        C::Frame1,     "Serial Number",                240, 1440, 1815,  285, kSans,  9.75,  3, true,  true,  {}},
};
// clang-format on

TEST(ControlTable, EveryRowAndColumn) {
    ASSERT_EQ(std::size(kExpected), static_cast<std::size_t>(kControlCount));
    ASSERT_EQ(kControlTable.size(), static_cast<std::size_t>(kControlCount));
    for (std::size_t i = 0; i < kControlTable.size(); ++i) {
        const ControlRow& got = kControlTable[i];
        const ControlRow& want = kExpected[i];
        SCOPED_TRACE(std::string(want.name));
        EXPECT_EQ(got.index, want.index);
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.name, want.name);
        EXPECT_EQ(got.kind, want.kind);
        EXPECT_EQ(got.container, want.container);
        EXPECT_EQ(got.caption, want.caption);
        EXPECT_EQ(got.left, want.left);
        EXPECT_EQ(got.top, want.top);
        EXPECT_EQ(got.width, want.width);
        EXPECT_EQ(got.height, want.height);
        EXPECT_EQ(got.fontName, want.fontName);
        EXPECT_EQ(got.fontPoints, want.fontPoints);
        EXPECT_EQ(got.tabIndex, want.tabIndex);
        EXPECT_EQ(got.enabled, want.enabled);
        EXPECT_EQ(got.visible, want.visible);
        EXPECT_EQ(got.label, want.label);
        // The lookup by id finds the same row.
        EXPECT_EQ(&row(want.id), &got);
    }
}

TEST(ControlTable, WindowRow) {
    EXPECT_EQ(kWindowRow.caption, "Trelvix Pulse Generator");
    EXPECT_EQ(kWindowRow.clientWidth, 6090);
    EXPECT_EQ(kWindowRow.clientHeight, 8025);
    EXPECT_EQ(kWindowRow.fontName, kSans);
    EXPECT_EQ(kWindowRow.fontPoints, 8.25);
    EXPECT_EQ(kWindowRow.timerInterval, 50);
    EXPECT_EQ(kTwipsPerInch, 1440);
}

TEST(ControlTable, FocusOrder) {
    const std::array<ControlId, 9> expected{I::Vout,         I::Factory,       I::SerNo,
                                            I::ext_trig_dir, I::ext_sync_freq, I::SetFout,
                                            I::Foutput,      I::polarity,      I::SetFsync};
    EXPECT_EQ(focusOrder(), expected);
}

TEST(ControlTable, TwipsToPixels) {
    struct Case {
        int twips;
        int dpi;
        int pixels;
    };
    const Case cases[] = {
        {6090, 96, 406},  {8025, 96, 535},  {15, 96, 1},      {0, 96, 0},       {7, 96, 0},
        {8, 96, 1},       {5800, 96, 387},  {2000, 96, 133},  {1440, 96, 96},   {6090, 120, 508},
        {8025, 120, 669}, {6090, 144, 609}, {8025, 144, 803}, {6090, 192, 812}, {8025, 192, 1070},
        {6090, 72, 305},  {8025, 72, 401},  {1440, 300, 300}, {420, 120, 35},   {1, 720, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(twipsToPixels(c.twips, c.dpi), c.pixels)
            << c.twips << " twips at " << c.dpi << " dpi";
    }
}

TEST(ControlTable, ControlNamed) {
    for (const auto& r : kExpected) {
        EXPECT_EQ(controlNamed(r.name), r.id) << r.name;
    }
    for (std::string_view name : {"", "serno", "SERNO", "SerNo ", "frmMain", "Label1", "Timer1"}) {
        EXPECT_FALSE(controlNamed(name).has_value()) << "\"" << name << "\"";
    }
}

TEST(ControlTable, FramesOfContainers) {
    EXPECT_EQ(frameOf(C::trig_frame), I::trig_frame);
    EXPECT_EQ(frameOf(C::Frame3), I::Frame3);
    EXPECT_EQ(frameOf(C::Frame1), I::Frame1);
    EXPECT_FALSE(frameOf(C::Window).has_value());
    EXPECT_FALSE(frameOf(C::NotDrawn).has_value());
}

// Every control that takes the focus has a name for a screen reader. An input's label is a visible
// caption in the same frame, on the same line as the input and beginning before or after it, so
// that the name is the text a sighted user reads next to the box.
TEST(ControlTable, EveryFocusableControlIsNamedByTheCaptionBesideIt) {
    for (const ControlId id : focusOrder()) {
        const ControlRow& r = row(id);
        SCOPED_TRACE(std::string(r.name));
        const std::string_view name = accessibleName(id);
        EXPECT_FALSE(name.empty());
        EXPECT_EQ(r.label.has_value(), r.caption.empty());
        if (!r.label) {
            continue;
        }
        const ControlRow& label = row(*r.label);
        EXPECT_EQ(name, label.caption);
        EXPECT_TRUE(label.kind == K::Label || label.kind == K::Button) << label.name;
        EXPECT_TRUE(label.visible);
        EXPECT_EQ(label.container, r.container);
        EXPECT_LT(label.top, r.top + r.height);
        EXPECT_LT(r.top, label.top + label.height);
        EXPECT_TRUE(label.left < r.left || label.left >= r.left + r.width);
    }
}

// The window's controls start with the enabled states and texts of the table.
TEST(ControlTable, WindowStartsAsTheTableSays) {
    test::Rig rig;
    for (const auto& r : kControlTable) {
        SCOPED_TRACE(std::string(r.name));
        if (r.kind == ControlKind::Timer) {
            continue;
        }
        EXPECT_EQ(rig.skin.isEnabled(r.id), r.enabled);
        if (r.kind == ControlKind::TextBox || r.kind == ControlKind::ValueLabel) {
            EXPECT_EQ(rig.text(r.id), "");
        }
        if (r.kind == ControlKind::Label) {
            EXPECT_EQ(rig.text(r.id), r.caption);
        }
    }
}

}  // namespace
}  // namespace tpg::ui
