// frmMain, the tool's one window: it owns the link state and the controls
// for the whole run, and every handler of the tool is one of its procedures.
// It knows no toolkit: a skin lends it the widgets (WindowSkin) and forwards
// the user's actions and the timer's ticks to the event entry points below.
#pragma once

#include <string>

#include "hid/HidPlatform.h"
#include "link/DeviceLink.h"
#include "link/LinkState.h"
#include "protocol/FeatureReports.h"
#include "settings/Frequencies.h"
#include "ui/Controls.h"
#include "ui/Widgets.h"

namespace tpg::ui {

class MainWindow : private link::LinkHost {
  public:
    MainWindow(hid::HidPlatform& platform, WindowSkin& skin);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    ~MainWindow() override = default;

    // --- event entry points for the skins ---
    void Form_Load();
    // cancel is never set: closing is never refused.
    void Form_Unload(short& cancel);
    void Form_Unload() {
        short cancel = 0;
        Form_Unload(cancel);
    }
    // The timer's tick; ignored while the timer is stopped. A tick that
    // arrives while another event is being handled (a message box runs an
    // event loop of its own) runs once that event is done, so every event
    // runs to completion before the next.
    void timerTick();
    // The user picked entry index of a drop-down list.
    void userPicked(ControlId list, int index);
    // The user pressed a button.
    void buttonPressed(ControlId button);

    // --- the handlers ---
    void Timer_Timer();
    void SerNo_Click();
    void SetFout_Click();
    void SetFsync_Click();
    void ext_trig_dir_Click();
    void Vout_Click();
    void polarity_Click();
    void Factory_Click();

    // --- procedures ---
    void RefreshDeviceState();
    void FillAmplitudeList();

    const link::LinkState& linkState() const { return state_; }
    link::LinkState& linkState() { return state_; }
    link::DeviceLink& deviceLink() { return link_; }
    bool timerEnabled() const { return Timer.enabled(); }
    int timerInterval() const { return Timer.interval(); }

  private:
    // Runs one event of the window, then a tick that fell due meanwhile.
    template <typename Handler>
    void runEvent(Handler handler);

    // LinkHost
    link::SerialListControl& serialList() override { return SerNo; }
    link::LinkTimer& linkTimer() override { return Timer; }
    void refreshDeviceState() override { RefreshDeviceState(); }
    void showWindow() override { skin_.show(); }

    // Sends one command report when uiReady, deviceAttached and stateLoaded
    // are all true; a selection of -1 or a report length too short for the
    // layout sends nothing.
    void sendSetting(protocol::ReportCommand command, int value);

    // Reads one identity string through readHandle into text; false when the
    // query failed.
    bool readIdentityString(hid::StringKind kind, std::string& text);

    // The shared steps of the two frequency entries.
    bool checkFrequency(TextBox& box, const settings::FrequencyRule& entry, double& value);

    hid::HidPlatform& platform_;
    WindowSkin& skin_;
    link::LinkState state_;
    link::DeviceLink link_;
    int eventDepth_ = 0;

  public:
    // The controls, named as the window names them.
    Frame trig_frame;
    Button SetFsync;
    DropDownList polarity;
    TextBox ext_sync_freq;
    DropDownList ext_trig_dir;
    Label Label8;
    Label Label9;
    Button Factory;
    Frame Frame3;
    TextBox Foutput;
    Button SetFout;
    DropDownList Vout;
    Label Label7;
    Label Label6;
    Frame Frame1;
    DropDownList SerNo;
    ui::Timer Timer;
    Label lblSerialNumber;
    Label lblVersion;
    Label lblProduct;
    Label lblManuf;
    Label Label2;
    Label Label5;
    Label Label4;
    Label Label3;
};

}  // namespace tpg::ui
