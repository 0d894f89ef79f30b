// RefreshDeviceState: brings the window into agreement with the device that
// is open now, or with the absence of one.
#include <vector>

#include "settings/NumberText.h"
#include "settings/Readback.h"
#include "ui/ControlTable.h"
#include "ui/MainWindow.h"

namespace tpg::ui {

using settings::decimalText;

void MainWindow::RefreshDeviceState() {
    // Empty and disable everything that depends on the device.
    state_.stateLoaded = false;
    state_.stateRead = false;
    lblManuf.setText("");
    lblProduct.setText("");
    lblVersion.setText("");
    Vout.clear();
    Vout.setEnabled(false);
    polarity.clear();
    polarity.setEnabled(false);
    ext_trig_dir.clear();
    ext_trig_dir.setEnabled(false);
    Factory.setEnabled(false);
    Frame3.setEnabled(false);
    trig_frame.setEnabled(false);
    SetFout.setEnabled(false);
    Label6.setEnabled(false);
    Label7.setEnabled(false);
    Label8.setEnabled(false);
    Label9.setEnabled(false);
    SetFsync.setEnabled(false);
    ext_sync_freq.setEnabled(false);
    ext_sync_freq.setText("");
    Foutput.setEnabled(false);
    Foutput.setText("");
    if (!state_.deviceAttached) {
        return;
    }

    // The device's identity.
    std::string text;
    if (readIdentityString(hid::StringKind::Manufacturer, text)) {
        lblManuf.setText(" " + text);
        std::string version = " ";
        version += settings::versionText(state_.attributes.versionNumber);
        lblVersion.setText(version);
    }
    if (readIdentityString(hid::StringKind::Product, text)) {
        lblProduct.setText(" " + text);
    }

    // Enable and preset, before the state is read. The selections run the
    // lists' handlers, which send nothing while stateLoaded is false.
    Frame1.setEnabled(true);
    Foutput.setEnabled(true);
    trig_frame.setEnabled(true);
    Label9.setEnabled(true);
    SetFsync.setEnabled(true);
    ext_trig_dir.addItem(0, std::string(kTriggerSyncEntries[0]));
    ext_trig_dir.addItem(1, std::string(kTriggerSyncEntries[1]));
    ext_trig_dir.setSelectedIndex(0);
    ext_trig_dir.setEnabled(true);
    Vout.setEnabled(true);
    polarity.addItem(0, std::string(kPolarityEntries[0]));
    polarity.addItem(1, std::string(kPolarityEntries[1]));
    polarity.setSelectedIndex(1);
    polarity.setEnabled(true);
    Factory.setEnabled(true);
    Frame3.setEnabled(true);
    trig_frame.setEnabled(true);
    SetFout.setEnabled(true);
    Label6.setEnabled(true);
    Label7.setEnabled(true);
    Label8.setEnabled(true);

    // The device's state. A report too short to hold the settings, or an
    // answer shorter than that, counts as a failed read; nothing is read past
    // what the device sent.
    const std::size_t length = state_.capabilities.featureReportByteLength;
    std::optional<protocol::DeviceState> device;
    if (length >= protocol::kStateReportLength) {
        std::vector<std::uint8_t> report(length, 0);
        state_.lastResult = platform_.getFeature(state_.deviceHandle, report);
        if (state_.lastResult > 0) {
            device = protocol::parseStateReport(
                std::span(report).first(static_cast<std::size_t>(state_.lastResult)));
        }
    }
    if (device) {
        // Out-of-range fields are replaced by their defaults; the sync
        // frequency is clamped to the nearer limit.
        const settings::ShownState shown = settings::applyRangeRule(*device);
        FillAmplitudeList();
        Foutput.setText(decimalText(shown.pulseFrequency.value));
        Vout.setSelectedIndex(shown.amplitudeIndex.value);
        polarity.setSelectedIndex(shown.polarityIndex.value);
        ext_trig_dir.setSelectedIndex(shown.triggerSyncFunction.value);
        ext_sync_freq.setText(decimalText(shown.syncFrequency.value));
        const bool syncInput = ext_trig_dir.selectedIndex() == 1;
        ext_sync_freq.setEnabled(syncInput);
        SetFsync.setEnabled(syncInput);
        state_.uiReady = true;
        state_.stateRead = true;
    }
    state_.stateLoaded = true;
}

}  // namespace tpg::ui
