// ext_trig_dir_Click: the function of the trigger/sync connector.
#include "ui/MainWindow.h"

namespace tpg::ui {

void MainWindow::ext_trig_dir_Click() {
    if (!state_.uiReady) {
        return;
    }
    // The sync frequency can be entered only while the connector is an input.
    const bool syncInput = ext_trig_dir.selectedIndex() == 1;
    ext_sync_freq.setEnabled(syncInput);
    SetFsync.setEnabled(syncInput);
    sendSetting(protocol::ReportCommand::SetTriggerSyncFunction, ext_trig_dir.selectedIndex());
}

}  // namespace tpg::ui
