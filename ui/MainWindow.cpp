#include "ui/MainWindow.h"

#include <array>

#include "link/DescriptorString.h"

namespace tpg::ui {

MainWindow::MainWindow(hid::HidPlatform& platform, WindowSkin& skin)
    : platform_(platform),
      skin_(skin),
      link_(platform, state_, *this),
      trig_frame(skin.plainWidget(ControlId::trig_frame)),
      SetFsync(skin.plainWidget(ControlId::SetFsync)),
      polarity(skin.listWidget(ControlId::polarity)),
      ext_sync_freq(skin.textWidget(ControlId::ext_sync_freq)),
      ext_trig_dir(skin.listWidget(ControlId::ext_trig_dir)),
      Label8(skin.labelWidget(ControlId::Label8)),
      Label9(skin.labelWidget(ControlId::Label9)),
      Factory(skin.plainWidget(ControlId::Factory)),
      Frame3(skin.plainWidget(ControlId::Frame3)),
      Foutput(skin.textWidget(ControlId::Foutput)),
      SetFout(skin.plainWidget(ControlId::SetFout)),
      Vout(skin.listWidget(ControlId::Vout)),
      Label7(skin.labelWidget(ControlId::Label7)),
      Label6(skin.labelWidget(ControlId::Label6)),
      Frame1(skin.plainWidget(ControlId::Frame1)),
      SerNo(skin.listWidget(ControlId::SerNo)),
      Timer(skin.timerWidget(), kWindowRow.timerInterval),
      lblSerialNumber(skin.labelWidget(ControlId::lblSerialNumber)),
      lblVersion(skin.labelWidget(ControlId::lblVersion)),
      lblProduct(skin.labelWidget(ControlId::lblProduct)),
      lblManuf(skin.labelWidget(ControlId::lblManuf)),
      Label2(skin.labelWidget(ControlId::Label2)),
      Label5(skin.labelWidget(ControlId::Label5)),
      Label4(skin.labelWidget(ControlId::Label4)),
      Label3(skin.labelWidget(ControlId::Label3)) {
    SerNo.setHandler([this] { SerNo_Click(); });
    Vout.setHandler([this] { Vout_Click(); });
    polarity.setHandler([this] { polarity_Click(); });
    ext_trig_dir.setHandler([this] { ext_trig_dir_Click(); });
}

template <typename Handler>
void MainWindow::runEvent(Handler handler) {
    ++eventDepth_;
    handler();
    --eventDepth_;
    if (eventDepth_ == 0 && Timer.takeDeferredTick()) {
        ++eventDepth_;
        Timer_Timer();
        --eventDepth_;
    }
}

void MainWindow::Form_Load() {
    runEvent([this] { link_.Form_Load(); });
}

void MainWindow::Form_Unload(short& /*cancel*/) {
    runEvent([this] { link_.Form_Unload(); });
}

void MainWindow::timerTick() {
    if (!Timer.enabled()) {
        return;
    }
    if (eventDepth_ > 0) {
        Timer.deferTick();
        return;
    }
    runEvent([this] { Timer_Timer(); });
}

void MainWindow::userPicked(ControlId list, int index) {
    runEvent([&] {
        switch (list) {
            case ControlId::SerNo:
                SerNo.userPicked(index);
                break;
            case ControlId::Vout:
                Vout.userPicked(index);
                break;
            case ControlId::polarity:
                polarity.userPicked(index);
                break;
            case ControlId::ext_trig_dir:
                ext_trig_dir.userPicked(index);
                break;
            default:
                break;  // not a list
        }
    });
}

void MainWindow::buttonPressed(ControlId button) {
    runEvent([&] {
        switch (button) {
            case ControlId::SetFout:
                SetFout_Click();
                break;
            case ControlId::SetFsync:
                SetFsync_Click();
                break;
            case ControlId::Factory:
                Factory_Click();
                break;
            default:
                break;  // not a button
        }
    });
}

void MainWindow::Timer_Timer() {
    link_.Timer_Timer();
}

void MainWindow::SerNo_Click() {
    link_.SerNo_Click();
}

void MainWindow::sendSetting(protocol::ReportCommand command, int value) {
    if (!(state_.uiReady && state_.deviceAttached && state_.stateLoaded)) {
        return;
    }
    // A list with nothing selected gives -1: there is no setting to send.
    if (value < 0) {
        return;
    }
    const auto report =
        protocol::buildCommand(command, value, state_.capabilities.featureReportByteLength);
    if (!report) {
        return;  // the device's reports are too short for this command
    }
    state_.lastResult = platform_.setFeature(state_.deviceHandle, *report);
}

bool MainWindow::readIdentityString(hid::StringKind kind, std::string& text) {
    std::array<std::uint8_t, 2 * hid::kStringQueryBytes + 1> buffer{};
    state_.lastResult = platform_.getString(state_.readHandle, kind, buffer);
    if (state_.lastResult == 0) {
        return false;
    }
    text = link::DescriptorStringToText(buffer);
    return true;
}

}  // namespace tpg::ui
