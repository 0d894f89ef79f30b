// The two frequency entries: SetFout_Click and SetFsync_Click check the text
// of their box, answer bad input with a message box, and send the value.
#include <cmath>

#include "ui/MainWindow.h"
#include "ui/NumberText.h"

namespace tpg::ui {

struct MainWindow::FrequencyEntry {
    double lower;
    double upper;
    const char* lowerText;
    const char* upperText;
    const char* notANumber;
    const char* outOfRange;
};

namespace {

const char* const kBadInput = "Bad input";
const char* const kBadDataRange = "Bad data range";

}  // namespace

// Steps 1 and 2 of both entries. Returns true with the value when the text is
// a number within the range; otherwise the user has been told, a value out
// of range has been replaced by the bound it violates, and the focus is back
// in the box.
bool MainWindow::checkFrequency(TextBox& box, const FrequencyEntry& entry, double& value) {
    const char separator = skin_.decimalSeparator();
    const auto number = parseNumber(box.text(), separator);
    if (!number) {
        skin_.messageBox(entry.notANumber, kBadInput);
        box.setFocus();
        return false;
    }
    if (*number < entry.lower || *number > entry.upper) {
        skin_.messageBox(entry.outOfRange, kBadDataRange);
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
    value = *number;
    return true;
}

void MainWindow::SetFout_Click() {
    static const FrequencyEntry kPulse{25000.0,
                                       350000000.0,
                                       "25000",
                                       "350000000",
                                       "Enter pulse frequency in Hz",
                                       "Pulse frequency is between 25kHz and 350MHz"};
    double x = 0.0;
    if (!checkFrequency(Foutput, kPulse, x)) {
        return;
    }
    // Whole hertz, halves rounded up, written back whether or not a device
    // is attached.
    const auto whole = static_cast<long long>(std::floor(x + 0.5));
    Foutput.setText(decimalText(whole));
    sendSetting(protocol::ReportCommand::SetPulseFrequency, static_cast<int>(whole));
}

void MainWindow::SetFsync_Click() {
    static const FrequencyEntry kSync{1000000.0,
                                      300000000.0,
                                      "1000000",
                                      "300000000",
                                      "Enter external sync frequency in Hz",
                                      "External sync frequency is between 1MHz and 300MHz"};
    double x = 0.0;
    if (!checkFrequency(ext_sync_freq, kSync, x)) {
        return;
    }
    // The box keeps what was typed; the value sent is the nearest whole
    // number, halves to even.
    sendSetting(protocol::ReportCommand::SetSyncFrequency, static_cast<int>(std::nearbyint(x)));
}

}  // namespace tpg::ui
