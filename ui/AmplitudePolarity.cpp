// The amplitude list and the two list handlers that send their selection.
#include "protocol/AmplitudeTable.h"
#include "ui/MainWindow.h"

namespace tpg::ui {

void MainWindow::FillAmplitudeList() {
    Vout.clear();
    for (int i = 0; i < protocol::kAmplitudeSteps; ++i) {
        Vout.addItem(i, protocol::amplitudeText(i));
    }
}

void MainWindow::Vout_Click() {
    sendSetting(protocol::ReportCommand::SetAmplitude, Vout.selectedIndex());
}

void MainWindow::polarity_Click() {
    sendSetting(protocol::ReportCommand::SetPolarity, polarity.selectedIndex());
}

}  // namespace tpg::ui
