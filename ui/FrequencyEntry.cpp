// The two frequency entries: SetFout_Click and SetFsync_Click check the text
// of their box, answer bad input with a message box, and send the value.
#include "settings/Frequencies.h"
#include "settings/NumberText.h"
#include "ui/MainWindow.h"

namespace tpg::ui {

using settings::FrequencyVerdict;
using settings::parseNumber;

// Steps 1 and 2 of both entries. Returns true with the value when the text is
// a number within the range; otherwise the user has been told, a value out
// of range has been replaced by the bound it violates, and the focus is back
// in the box.
bool MainWindow::checkFrequency(TextBox& box, const settings::FrequencyRule& entry, double& value) {
    const std::string separator = skin_.decimalSeparator();
    const auto checked = settings::checkFrequency(box.text(), entry, separator);
    if (checked.verdict == FrequencyVerdict::NotANumber) {
        skin_.messageBox(entry.notANumber, settings::kBadInputTitle);
        box.setFocus();
        return false;
    }
    if (checked.verdict == FrequencyVerdict::OutOfRange) {
        skin_.messageBox(entry.outOfRange, settings::kBadDataRangeTitle);
        // The text is read again after the box has closed.
        if (const auto again = parseNumber(box.text(), separator); again && *again < entry.lower) {
            box.setText(entry.lowerText);
        }
        if (const auto again = parseNumber(box.text(), separator); again && *again > entry.upper) {
            box.setText(entry.upperText);
        }
        box.setFocus();
        return false;
    }
    value = checked.value;
    return true;
}

void MainWindow::SetFout_Click() {
    double x = 0.0;
    if (!checkFrequency(Foutput, settings::kPulseFrequency, x)) {
        return;
    }
    // Whole hertz, halves rounded up, written back whether or not a device
    // is attached.
    const std::int32_t whole = settings::kPulseFrequency.whole(x);
    Foutput.setText(settings::decimalText(whole));
    sendSetting(protocol::ReportCommand::SetPulseFrequency, whole);
}

void MainWindow::SetFsync_Click() {
    double x = 0.0;
    if (!checkFrequency(ext_sync_freq, settings::kSyncFrequency, x)) {
        return;
    }
    // The box keeps what was typed; the value sent is the nearest whole
    // number, halves to even.
    sendSetting(protocol::ReportCommand::SetSyncFrequency, settings::kSyncFrequency.whole(x));
}

}  // namespace tpg::ui
