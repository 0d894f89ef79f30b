// Factory_Click: puts the five settings back to their defaults through the
// window's own controls and handlers, so each default is checked, shown and
// sent as if the user had entered it.
#include "ui/MainWindow.h"

namespace tpg::ui {

void MainWindow::Factory_Click() {
    Foutput.setText("10000000");
    SetFout_Click();
    // Each selection runs the list's handler; the direct call makes sure the
    // handler runs even when the list already held the default. With an empty
    // amplitude list (the state could not be read) nothing is selected and
    // that step sends nothing; the other steps still run.
    Vout.setSelectedIndex(339);
    Vout_Click();
    ext_trig_dir.setSelectedIndex(0);
    ext_trig_dir_Click();
    ext_sync_freq.setText("10000000");
    SetFsync_Click();
    polarity.setSelectedIndex(1);
    polarity_Click();
}

}  // namespace tpg::ui
