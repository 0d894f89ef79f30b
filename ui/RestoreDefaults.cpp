// Factory_Click: puts the five settings back to their defaults through the
// window's own controls and handlers, so each default is checked, shown and
// sent as if the user had entered it.
#include "settings/Defaults.h"
#include "settings/NumberText.h"
#include "ui/MainWindow.h"

namespace tpg::ui {

void MainWindow::Factory_Click() {
    using namespace settings;
    Foutput.setText(decimalText(kDefaultPulseFrequency));
    SetFout_Click();
    // Each selection runs the list's handler; the direct call makes sure the
    // handler runs even when the list already held the default. The amplitude
    // list is empty when the state could not be read: it is filled first, so
    // that the default amplitude goes out with the other settings.
    if (Vout.count() == 0) {
        FillAmplitudeList();
    }
    Vout.setSelectedIndex(kDefaultAmplitudeIndex);
    Vout_Click();
    ext_trig_dir.setSelectedIndex(kDefaultTriggerSyncFunction);
    ext_trig_dir_Click();
    ext_sync_freq.setText(decimalText(kDefaultSyncFrequency));
    SetFsync_Click();
    polarity.setSelectedIndex(kDefaultPolarityIndex);
    polarity_Click();
}

}  // namespace tpg::ui
