// The native window over the simulated bench: what the control table puts
// on the screen, what the user's messages do, and what reached the bench.
#include <gtest/gtest.h>

#include <oleacc.h>

#include <cmath>
#include <cstdlib>

#include "Screenshot.h"
#include "SkinRig.h"
#include "ui/win32/WideText.h"

namespace tpg::test {
namespace {

using ui::ControlKind;

bool drawn(const ui::ControlRow& r) {
    return r.kind != ControlKind::Timer;
}

// Every control where the table says, in pixels of the window's DPI, with
// the table's caption, font and visibility.
void expectLayout(const SkinRig& rig, int dpi) {
    const auto px = [dpi](int twips) { return ui::twipsToPixels(twips, dpi); };
    for (const auto& r : ui::kControlTable) {
        if (!drawn(r)) {
            continue;
        }
        SCOPED_TRACE(std::string(r.name));
        int left = px(r.left);
        int top = px(r.top);
        if (const auto frame = ui::frameOf(r.container)) {
            left += px(ui::row(*frame).left);
            top += px(ui::row(*frame).top);
        }
        const RECT rect = rig.clientRect(r.id);
        EXPECT_EQ(rect.left, left);
        EXPECT_EQ(rect.top, top);
        EXPECT_EQ(rect.right - rect.left, px(r.width));
        if (r.kind == ControlKind::DropDownList) {
            // A closed list is as high as its font lets the system make it.
            EXPECT_NEAR(rect.bottom - rect.top, px(r.height), 3.0 * dpi / 96);
        } else {
            EXPECT_EQ(rect.bottom - rect.top, px(r.height));
        }

        EXPECT_EQ(rig.text(r.id), std::string(r.caption));
        const auto font = reinterpret_cast<HFONT>(SendMessageW(rig.hwnd(r.id), WM_GETFONT, 0, 0));
        LOGFONTW logFont{};
        ASSERT_NE(GetObjectW(font, sizeof(logFont), &logFont), 0);
        EXPECT_EQ(ui::win32::narrow(logFont.lfFaceName), std::string(r.fontName));
        EXPECT_EQ(logFont.lfHeight, -std::lround(r.fontPoints * dpi / 72.0));
        EXPECT_EQ(logFont.lfWeight, FW_NORMAL);
        EXPECT_FALSE(logFont.lfItalic || logFont.lfUnderline);
        const LONG style = GetWindowLongW(rig.hwnd(r.id), GWL_STYLE);
        EXPECT_EQ((style & WS_VISIBLE) != 0, r.visible);
    }
}

TEST(Win32Window, EveryControlStandsWhereTheTableSaysAtTheWindowsDpi) {
    SkinRig rig;
    wchar_t caption[64]{};
    GetWindowTextW(rig.skin.hwnd(), caption, 64);
    EXPECT_STREQ(caption, L"Trelvix Pulse Generator");
    const int dpi = rig.skin.dpi();
    RECT client{};
    GetClientRect(rig.skin.hwnd(), &client);
    EXPECT_EQ(client.right, ui::twipsToPixels(ui::kWindowRow.clientWidth, dpi));
    EXPECT_EQ(client.bottom, ui::twipsToPixels(ui::kWindowRow.clientHeight, dpi));
    if (dpi == 96) {
        EXPECT_EQ(client.right, 406);
        EXPECT_EQ(client.bottom, 535);
    }
    {
        SCOPED_TRACE("at the DPI of creation");
        expectLayout(rig, dpi);
    }

    // Moved to a monitor of 150 %: the window is laid out anew for 144 dpi
    // and takes the rectangle the system suggests.
    RECT suggested{100, 50, 100 + 620, 50 + 840};
    SendMessageW(rig.skin.hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(rig.skin.dpi(), 144);
    RECT window{};
    GetWindowRect(rig.skin.hwnd(), &window);
    EXPECT_EQ(window.left, 100);
    EXPECT_EQ(window.right - window.left, 620);
    {
        SCOPED_TRACE("at 144 dpi");
        expectLayout(rig, 144);
    }
}

TEST(Win32Window, ControlsAreTheNativeKindsWithTabStopsOnlyWhereFocusGoes) {
    SkinRig rig;
    struct Expected {
        const wchar_t* windowClass;
        ControlKind kind;
        LONG typeMask;
        LONG type;
        bool tabStop;
    };
    const Expected kinds[] = {
        {L"Button", ControlKind::Frame, BS_TYPEMASK, BS_GROUPBOX, false},
        {L"Button", ControlKind::Button, BS_TYPEMASK, BS_PUSHBUTTON, true},
        {L"Edit", ControlKind::TextBox, ES_MULTILINE, 0, true},
        {L"ComboBox", ControlKind::DropDownList, 3, CBS_DROPDOWNLIST, true},
        {L"Static", ControlKind::Label, SS_TYPEMASK, SS_LEFT, false},
        {L"Static", ControlKind::ValueLabel, SS_TYPEMASK, SS_LEFT, false},
    };
    for (const auto& r : ui::kControlTable) {
        if (!drawn(r)) {
            continue;
        }
        SCOPED_TRACE(std::string(r.name));
        const HWND h = rig.hwnd(r.id);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(GetParent(h), rig.skin.hwnd());
        for (const auto& e : kinds) {
            if (e.kind != r.kind) {
                continue;
            }
            wchar_t cls[32]{};
            GetClassNameW(h, cls, 32);
            EXPECT_EQ(lstrcmpiW(cls, e.windowClass), 0);
            const LONG style = GetWindowLongW(h, GWL_STYLE);
            EXPECT_EQ(style & e.typeMask, e.type);
            EXPECT_EQ((style & WS_TABSTOP) != 0, e.tabStop);
        }
    }
}

// The z-order of the children: the controls that take input lie above the
// labels (Label3 reaches under SerNo), lblProduct above lblSerialNumber,
// which shares its rectangle, and the group boxes beneath everything.
TEST(Win32Window, ZOrderKeepsTheProductNameOnTopAndFramesBeneath) {
    SkinRig rig;
    std::vector<HWND> order;
    for (HWND h = GetWindow(rig.skin.hwnd(), GW_CHILD); h != nullptr;
         h = GetWindow(h, GW_HWNDNEXT)) {
        order.push_back(h);
    }
    const auto position = [&](ControlId id) {
        return std::find(order.begin(), order.end(), rig.hwnd(id)) - order.begin();
    };
    EXPECT_LT(position(ControlId::lblProduct), position(ControlId::lblSerialNumber));
    ASSERT_EQ(order.size(), 24U);
    const auto focusable = ui::focusOrder();
    for (const auto& r : ui::kControlTable) {
        const bool label = r.kind == ControlKind::Label || r.kind == ControlKind::ValueLabel;
        if (label) {
            EXPECT_GE(position(r.id), 9) << r.name;
        }
    }
    for (std::size_t i = 0; i + 1 < focusable.size(); ++i) {
        EXPECT_LT(position(focusable[i]), position(focusable[i + 1])) << "tab order";
    }
    for (const ControlId frame : {ControlId::Frame1, ControlId::Frame3, ControlId::trig_frame}) {
        EXPECT_GE(position(frame), 21) << ui::row(frame).name;
    }
}

// No label or frame lies over a control that takes input: every pixel of its
// rectangle hit-tests to it on its container, and a press at the left end of
// a list, sent to whatever window is under that point on the screen, opens
// its popup.
TEST(Win32Window, EveryPixelOfAControlThatTakesInputIsItsOwn) {
    auto state = hid::sim::GeneratorModel::factoryState();
    state.triggerSyncFunction = 1;  // the sync entry enabled too
    SkinRig rig;
    rig.plugGenerator("a", u"TPG350-00417", state);
    rig.plugGenerator("b", u"TPG350-01022", state);
    rig.window.Form_Load();
    rig.pump();
    for (const ControlId id : ui::focusOrder()) {
        SCOPED_TRACE(std::string(ui::row(id).name));
        const RECT rect = rig.clientRect(id);
        int missed = 0;
        for (LONG y = rect.top; y < rect.bottom; ++y) {
            for (LONG x = rect.left; x < rect.right; ++x) {
                missed += ChildWindowFromPointEx(rig.skin.hwnd(), POINT{x, y}, CWP_SKIPINVISIBLE) !=
                          rig.hwnd(id);
            }
        }
        EXPECT_EQ(missed, 0);
        if (ui::row(id).kind != ControlKind::DropDownList) {
            continue;
        }
        POINT at{rect.left + 3, (rect.top + rect.bottom) / 2};
        ClientToScreen(rig.skin.hwnd(), &at);
        const HWND under = WindowFromPoint(at);
        ASSERT_EQ(under, rig.hwnd(id));
        ScreenToClient(under, &at);
        SendMessageW(under, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
        SendMessageW(under, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        EXPECT_TRUE(SendMessageW(under, CB_GETDROPPEDSTATE, 0, 0));
        SendMessageW(under, CB_SHOWDROPDOWN, FALSE, 0);
    }
}

// What a screen reader gets for each control that takes the focus, asked as
// it asks: the accessible object of the control's client area, from oleacc.
// Its name is the caption the window shows beside the control (a button's
// own), also with the lists and boxes filled; its role is the standard
// object's. The labels stay beneath the inputs (the test above).
TEST(Win32Window, ScreenReadersNameEveryInputByTheCaptionBesideIt) {
    SkinRig rig;
    rig.plugGenerator("a", u"TPG350-00417");
    rig.plugGenerator("b", u"TPG350-01022");
    rig.window.Form_Load();
    rig.pump();
    ASSERT_GE(rig.selected(ControlId::SerNo), 0);
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    for (const ControlId id : ui::focusOrder()) {
        const auto& r = ui::row(id);
        SCOPED_TRACE(std::string(r.name));
        wchar_t shown[256]{};
        GetWindowTextW(rig.hwnd(r.label ? *r.label : id), shown, 256);
        ASSERT_NE(shown[0], L'\0');

        IAccessible* object = nullptr;
        ASSERT_HRESULT_SUCCEEDED(
            AccessibleObjectFromWindow(rig.hwnd(id), static_cast<DWORD>(OBJID_CLIENT),
                                       __uuidof(IAccessible), reinterpret_cast<void**>(&object)));
        BSTR name = nullptr;
        EXPECT_EQ(object->get_accName(self, &name), S_OK);
        EXPECT_EQ(ui::win32::narrow(name != nullptr ? name : L""), ui::win32::narrow(shown));
        SysFreeString(name);

        IAccessible* standard = nullptr;
        ASSERT_HRESULT_SUCCEEDED(CreateStdAccessibleObject(rig.hwnd(id), OBJID_CLIENT,
                                                           __uuidof(IAccessible),
                                                           reinterpret_cast<void**>(&standard)));
        VARIANT role{};
        VARIANT standardRole{};
        EXPECT_HRESULT_SUCCEEDED(object->get_accRole(self, &role));
        EXPECT_HRESULT_SUCCEEDED(standard->get_accRole(self, &standardRole));
        EXPECT_EQ(role.vt, VT_I4);
        EXPECT_EQ(role.lVal, standardRole.lVal);
        standard->Release();
        object->Release();
    }
}

bool ownEnabled(SkinRig& rig, ControlId id) {
    switch (ui::row(id).kind) {
        case ControlKind::Frame:
        case ControlKind::Button:
            return rig.skin.plainWidget(id).isEnabled();
        case ControlKind::Label:
        case ControlKind::ValueLabel:
            return rig.skin.labelWidget(id).isEnabled();
        case ControlKind::TextBox:
            return rig.skin.textWidget(id).isEnabled();
        case ControlKind::DropDownList:
            return rig.skin.listWidget(id).isEnabled();
        case ControlKind::Timer:
            break;
    }
    return false;
}

// Usable as the user sees it: enabled, and inside no disabled frame.
bool usable(SkinRig& rig, ControlId id) {
    const auto frame = ui::frameOf(ui::row(id).container);
    return ownEnabled(rig, id) && (!frame || ownEnabled(rig, *frame));
}

TEST(Win32Window, AFrameDisablesItsControlsAndGivesThemBackTheirOwnState) {
    SkinRig rig;
    // At creation: the table's states, and Foutput and SetFout, enabled in
    // themselves, are greyed by their disabled frame.
    for (const auto& r : ui::kControlTable) {
        if (!drawn(r)) {
            continue;
        }
        SCOPED_TRACE(std::string(r.name));
        EXPECT_EQ(ownEnabled(rig, r.id), r.enabled);
        EXPECT_EQ(rig.nativeEnabled(r.id), usable(rig, r.id));
    }
    EXPECT_TRUE(ownEnabled(rig, ControlId::Foutput));
    EXPECT_FALSE(rig.nativeEnabled(ControlId::Foutput));

    // Enabling the frame gives each control its own state back; disabling
    // it again greys them all, whatever their own state.
    rig.window.Frame3.setEnabled(true);
    EXPECT_TRUE(rig.nativeEnabled(ControlId::Foutput));
    EXPECT_TRUE(rig.nativeEnabled(ControlId::SetFout));
    EXPECT_FALSE(rig.nativeEnabled(ControlId::Vout)) << "disabled in itself";
    rig.window.Vout.setEnabled(true);
    EXPECT_TRUE(rig.nativeEnabled(ControlId::Vout));
    rig.window.Frame3.setEnabled(false);
    for (const ControlId id :
         {ControlId::Foutput, ControlId::SetFout, ControlId::Vout, ControlId::Label6}) {
        EXPECT_FALSE(rig.nativeEnabled(id)) << ui::row(id).name;
    }
    EXPECT_TRUE(ownEnabled(rig, ControlId::Vout));
    // The window's own controls are not touched.
    EXPECT_TRUE(rig.nativeEnabled(ControlId::Factory));
    // Frame1 disabled at creation greys its labels, enabled in themselves.
    EXPECT_TRUE(ownEnabled(rig, ControlId::Label3));
    EXPECT_FALSE(rig.nativeEnabled(ControlId::Label3));
    rig.window.Frame1.setEnabled(true);
    EXPECT_TRUE(rig.nativeEnabled(ControlId::Label3));
    EXPECT_FALSE(rig.nativeEnabled(ControlId::SerNo)) << "disabled in itself";
}

TEST(Win32Window, StartUpFillsTheWindowFromTheGeneratorWithoutSendingAnything) {
    SkinRig rig;
    rig.plugGenerator("a", u"TPG350-00417");
    rig.plugGenerator("b", u"TPG350-01022",
                      {.pulseFrequency = 25000,
                       .amplitudeIndex = 510,
                       .polarityIndex = 0,
                       .triggerSyncFunction = 1,
                       .syncFrequency = 300000000});
    rig.window.Form_Load();
    rig.pump();
    EXPECT_TRUE(IsWindowVisible(rig.skin.hwnd()));
    EXPECT_TRUE(rig.window.linkState().deviceAttached);

    const struct {
        ControlId id;
        const char* text;
    } texts[] = {
        {ControlId::lblManuf, " Trelvix Instruments"},
        {ControlId::lblProduct, " Trelvix Pulse Generator TPG-350"},
        {ControlId::lblVersion, " 1.03"},
        {ControlId::lblSerialNumber, ""},
        {ControlId::SerNo, "TPG350-01022"},
        {ControlId::Foutput, "25000"},
        {ControlId::Vout, "1624"},
        {ControlId::polarity, "Inverted"},
        {ControlId::ext_trig_dir, "Sync input"},
        {ControlId::ext_sync_freq, "300000000"},
    };
    for (const auto& t : texts) {
        EXPECT_EQ(rig.text(t.id), t.text) << ui::row(t.id).name;
    }
    EXPECT_EQ(rig.count(ControlId::SerNo), 2);
    EXPECT_EQ(rig.count(ControlId::Vout), 511);
    EXPECT_EQ(rig.itemText(ControlId::Vout, 0), "49");
    EXPECT_EQ(rig.itemText(ControlId::Vout, 24), "123");
    EXPECT_EQ(rig.itemText(ControlId::Vout, 339), "1096");
    EXPECT_EQ(rig.count(ControlId::polarity), 2);
    EXPECT_EQ(rig.count(ControlId::ext_trig_dir), 2);

    // Every drawn control but the hidden label is usable now.
    for (const auto& r : ui::kControlTable) {
        if (drawn(r) && r.id != ControlId::Label7) {
            EXPECT_TRUE(rig.nativeEnabled(r.id)) << r.name;
        }
    }
    // The selections made by the read-back raised no user pick: nothing sent.
    EXPECT_TRUE(rig.takeSent().empty());
    EXPECT_TRUE(rig.skin.timer().running());
    EXPECT_EQ(rig.skin.timer().interval(), 50);
}

TEST(Win32Window, TabVisitsTheFocusOrderThroughIsDialogMessage) {
    SkinRig rig;
    rig.plugGenerator("a", u"A");
    rig.plugGenerator("b", u"B");
    rig.window.Form_Load();
    rig.pick(ControlId::ext_trig_dir, 1);  // Sync input: the sync entry takes focus too
    rig.takeSent();
    SetFocus(rig.hwnd(ControlId::Vout));
    ASSERT_EQ(rig.focused(), ControlId::Vout);

    std::vector<ControlId> visited;
    for (int step = 0; step < 9; ++step) {
        MSG tab{rig.hwnd(*rig.focused()), WM_KEYDOWN, VK_TAB, 0, 0, {}};
        rig.skin.processMessage(tab);
        ASSERT_TRUE(rig.focused().has_value());
        visited.push_back(*rig.focused());
    }
    const std::vector<ControlId> expected{
        ControlId::Factory,       ControlId::SerNo,    ControlId::ext_trig_dir,
        ControlId::ext_sync_freq, ControlId::SetFout,  ControlId::Foutput,
        ControlId::polarity,      ControlId::SetFsync, ControlId::Vout};
    EXPECT_EQ(visited, expected);

    // A control that is disabled while it has the focus passes it on in tab
    // order: Trigger output greys the sync entry.
    SetFocus(rig.hwnd(ControlId::ext_sync_freq));
    rig.pick(ControlId::ext_trig_dir, 0);
    EXPECT_FALSE(rig.nativeEnabled(ControlId::ext_sync_freq));
    EXPECT_EQ(rig.focused(), ControlId::SetFout);

    // Disabled controls are skipped.
    SetFocus(rig.hwnd(ControlId::ext_trig_dir));
    MSG tab{rig.hwnd(ControlId::ext_trig_dir), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    rig.skin.processMessage(tab);
    EXPECT_EQ(rig.focused(), ControlId::SetFout);
}

// One user action and the report it must send, byte by byte.
struct ActionCase {
    const char* what;
    void (*act)(SkinRig&);
    std::vector<Bytes> sent;
};

TEST(Win32Window, UserActionsSendTheirReports) {
    const ActionCase cases[] = {
        {"amplitude 1096 mV",
         [](SkinRig& r) { r.pick(ControlId::Vout, 339); },
         {report({0, 2, 0, 0x53, 0x01})}},
        {"amplitude 1624 mV",
         [](SkinRig& r) { r.pick(ControlId::Vout, 510); },
         {report({0, 2, 0, 0xFE, 0x01})}},
        {"polarity Inverted",
         [](SkinRig& r) { r.pick(ControlId::polarity, 0); },
         {report({0, 3, 0, 0, 0})}},
        {"polarity Normal",
         [](SkinRig& r) { r.pick(ControlId::polarity, 1); },
         {report({0, 3, 0, 1, 0})}},
        {"sync input",
         [](SkinRig& r) { r.pick(ControlId::ext_trig_dir, 1); },
         {report({0, 5, 0, 1, 0})}},
        {"pulse frequency typed and sent",
         [](SkinRig& r) {
             r.type(ControlId::Foutput, "10000000");
             r.click(ControlId::SetFout);
         },
         {report({0, 1, 0, 0x80, 0x96, 0x98, 0x00})}},
        {"pulse frequency rounded",
         [](SkinRig& r) {
             r.type(ControlId::Foutput, "25000.5");
             r.click(ControlId::SetFout);
         },
         {report({0, 1, 0, 0xA9, 0x61, 0x00, 0x00})}},
        {"sync frequency",
         [](SkinRig& r) {
             r.pick(ControlId::ext_trig_dir, 1);
             r.type(ControlId::ext_sync_freq, "300000000");
             r.click(ControlId::SetFsync);
         },
         {report({0, 5, 0, 1, 0}), report({0, 6, 0, 0x00, 0xA3, 0xE1, 0x11})}},
        {"restore defaults", [](SkinRig& r) { r.click(ControlId::Factory); },
         restoreDefaultsReports()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SkinRig rig;
        rig.plugGenerator("a", u"A",
                          {.pulseFrequency = 20000000,
                           .amplitudeIndex = 5,
                           .polarityIndex = 0,
                           .triggerSyncFunction = 1,
                           .syncFrequency = 2000000});
        rig.window.Form_Load();
        ASSERT_TRUE(rig.takeSent().empty());
        c.act(rig);
        EXPECT_EQ(rig.takeSent(), c.sent);
    }
}

TEST(Win32Window, WhatTheUserSeesAfterTheirActions) {
    SkinRig rig;
    rig.plugGenerator("a", u"A");
    rig.window.Form_Load();

    rig.type(ControlId::Foutput, "25000.4");
    rig.click(ControlId::SetFout);
    EXPECT_EQ(rig.text(ControlId::Foutput), "25000");

    rig.pick(ControlId::ext_trig_dir, 1);
    EXPECT_TRUE(rig.nativeEnabled(ControlId::ext_sync_freq));
    EXPECT_TRUE(rig.nativeEnabled(ControlId::SetFsync));
    rig.click(ControlId::Factory);
    EXPECT_EQ(rig.text(ControlId::Foutput), "10000000");
    EXPECT_EQ(rig.text(ControlId::Vout), "1096");
    EXPECT_EQ(rig.text(ControlId::ext_trig_dir), "Trigger output");
    EXPECT_EQ(rig.text(ControlId::ext_sync_freq), "10000000");
    EXPECT_FALSE(rig.nativeEnabled(ControlId::ext_sync_freq));
    EXPECT_FALSE(rig.nativeEnabled(ControlId::SetFsync));
    EXPECT_EQ(rig.text(ControlId::polarity), "Normal");

    const auto& state = rig.bench.generator(SkinRig::path("a"))->state();
    EXPECT_EQ(state.pulseFrequency, 10000000);
    EXPECT_EQ(state.amplitudeIndex, 339);
    EXPECT_EQ(state.syncFrequency, 10000000);
}

struct BoxCase {
    ControlId box;
    ControlId button;
    const char* typed;
    const wchar_t* title;
    const wchar_t* text;
    const char* afterwards;
};

TEST(Win32Window, BadInputIsAnsweredWithAModalBoxWithOkOnlyAndNoIcon) {
    const BoxCase cases[] = {
        {ControlId::Foutput, ControlId::SetFout, "", L"Bad input", L"Enter pulse frequency in Hz",
         ""},
        {ControlId::Foutput, ControlId::SetFout, "-5", L"Bad data range",
         L"Pulse frequency is between 25kHz and 350MHz", "25000"},
        {ControlId::ext_sync_freq, ControlId::SetFsync, "x", L"Bad input",
         L"Enter external sync frequency in Hz", "x"},
        {ControlId::ext_sync_freq, ControlId::SetFsync, "400000000", L"Bad data range",
         L"External sync frequency is between 1MHz and 300MHz", "300000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        SkinRig rig;
        rig.plugGenerator("a", u"A",
                          {.pulseFrequency = 10000000,
                           .amplitudeIndex = 339,
                           .polarityIndex = 1,
                           .triggerSyncFunction = 1,
                           .syncFrequency = 10000000});
        rig.window.Form_Load();
        rig.type(c.box, c.typed);
        const auto boxes = rig.clickExpectingBox(c.button);
        ASSERT_EQ(boxes.size(), 1U);
        EXPECT_EQ(boxes[0].title, c.title);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].buttons, 1) << "OK only";
        EXPECT_FALSE(boxes[0].hasIcon);
        EXPECT_EQ(rig.text(c.box), c.afterwards);
        EXPECT_EQ(rig.focused(), c.box) << "the focus returns to the text box";
        EXPECT_TRUE(rig.takeSent().empty());
        EXPECT_TRUE(IsWindowEnabled(rig.skin.hwnd())) << "the window takes input again";
    }
}

TEST(Win32Window, TheTimerWatchesTheLinkThroughWmTimer) {
    SkinRig rig;
    rig.plugGenerator("a", u"A");
    rig.window.Form_Load();
    ASSERT_TRUE(rig.window.linkState().deviceAttached);

    // Probes succeed: the interval becomes 500 ms.
    ASSERT_TRUE(rig.pumpUntil([&] { return rig.skin.timer().interval() == 500; }));
    EXPECT_EQ(rig.text(ControlId::lblManuf), " Trelvix Instruments");

    // Unplugged: the next probe fails and the window empties.
    rig.bench.unplug(SkinRig::path("a"));
    ASSERT_TRUE(rig.pumpUntil([&] { return !rig.window.linkState().deviceAttached; }));
    EXPECT_EQ(rig.skin.timer().interval(), 250);
    EXPECT_EQ(rig.text(ControlId::lblManuf), "");
    EXPECT_EQ(rig.count(ControlId::Vout), 0);
    EXPECT_FALSE(rig.nativeEnabled(ControlId::Foutput));
    EXPECT_EQ(rig.bench.openDeviceHandles(), 0);

    // Plugged again: a rescan finds it and fills the window.
    rig.plugGenerator("a", u"A");
    ASSERT_TRUE(rig.pumpUntil([&] { return rig.window.linkState().deviceAttached; }));
    EXPECT_EQ(rig.text(ControlId::lblManuf), " Trelvix Instruments");
    EXPECT_EQ(rig.count(ControlId::Vout), 511);
}

TEST(Win32Window, TicksWhileAMessageBoxIsOpenWaitForTheHandler) {
    SkinRig rig;
    rig.plugGenerator("a", u"A");
    rig.window.Form_Load();
    rig.type(ControlId::Foutput, "abc");
    rig.bench.clearCallCounts();
    // The box stays up for 1.2 s, longer than the longest tick interval
    // (500 ms once a probe has run), so that ticks fall due inside it
    // however slowly the machine got here.
    std::vector<SeenBox> seen;
    seen = rig.clickExpectingBox(ControlId::SetFout, 1200);
    ASSERT_EQ(seen.size(), 1U);
    // The ticks that fell due inside the box ran as one, after the handler.
    EXPECT_EQ(rig.bench.callCount(hid::sim::Op::ReadInputReport), 1);
    EXPECT_TRUE(rig.pumpUntil([&] {
        return rig.bench.callCount(hid::sim::Op::ReadInputReport) > 1;
    })) << "ticks go on afterwards";
}

TEST(Win32Window, ClosingTheWindowRunsShutdownAndClosesTheDevice) {
    SkinRig rig;
    rig.plugGenerator("a", u"A");
    rig.window.Form_Load();
    ASSERT_EQ(rig.bench.openDeviceHandles(), 2);
    rig.takeSent();
    SendMessageW(rig.skin.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(rig.skin.hwnd()));
    EXPECT_EQ(rig.bench.openDeviceHandles(), 0);
    EXPECT_FALSE(rig.window.timerEnabled());
    EXPECT_FALSE(rig.skin.timer().running());
    EXPECT_TRUE(rig.takeSent().empty()) << "nothing is sent at the end";
}

// Writes what the user sees of the window as a PNG, for a person to look at,
// after checking that it is not a blank picture.
void saveScreenshot(SkinRig& rig, const char* pathVariable, const char* defaultPath) {
    SetForegroundWindow(rig.skin.hwnd());
    rig.pump(300);
    const RgbaImage image = captureWindow(rig.skin.hwnd());
    RECT frame{};
    GetWindowRect(rig.skin.hwnd(), &frame);
    ASSERT_EQ(image.width, frame.right - frame.left);
    ASSERT_EQ(image.height, frame.bottom - frame.top);

    // The face colour, the frames' lines, text, the caption bar: a blank or
    // black capture has one or two colours.
    std::vector<std::uint32_t> seen;
    for (std::size_t i = 0; i < image.pixels.size() && seen.size() < 8; i += 4) {
        const std::uint32_t rgb = static_cast<std::uint32_t>(image.pixels[i]) << 16 |
                                  static_cast<std::uint32_t>(image.pixels[i + 1]) << 8 |
                                  image.pixels[i + 2];
        if (std::find(seen.begin(), seen.end(), rgb) == seen.end()) {
            seen.push_back(rgb);
        }
    }
    EXPECT_GE(seen.size(), 4U);
    const char* path = std::getenv(pathVariable);
    ASSERT_TRUE(writePng(path != nullptr ? path : defaultPath, image));
}

TEST(Win32Window, ScreenshotOfTheFilledWindow) {
    SkinRig rig;
    rig.plugGenerator("a", u"TPG350-00417");
    rig.plugGenerator("b", u"TPG350-01022",
                      {.pulseFrequency = 125000000,
                       .amplitudeIndex = 339,
                       .polarityIndex = 1,
                       .triggerSyncFunction = 1,
                       .syncFrequency = 10000000});
    rig.window.Form_Load();
    saveScreenshot(rig, "TPG_SCREENSHOT", "trelvix-pulse-window.png");
}

TEST(Win32Window, ScreenshotOfTheSearchingWindow) {
    SkinRig rig;
    rig.window.Form_Load();
    saveScreenshot(rig, "TPG_SCREENSHOT_SEARCHING", "trelvix-pulse-searching.png");
}

}  // namespace
}  // namespace tpg::test
