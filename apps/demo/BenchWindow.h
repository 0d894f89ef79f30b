// The demo's second window, beside the tool's: the bench of simulated
// generators, with their serial numbers, whether each is plugged in and the
// settings it holds, and buttons to plug, unplug and add generators. It is
// not part of the tool; it stands in for the user's hands at the USB ports.
#pragma once

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "hid/sim/DemoBench.h"

namespace tpg::demo {

using hid::sim::DemoBench;

class BenchWindow : public QWidget {
  public:
    explicit BenchWindow(DemoBench& bench, QWidget* parent = nullptr);

    // Rereads the bench: rows, plug states, settings and the last report.
    void refresh();

  private:
    void togglePlugged();
    void addGenerator();
    std::size_t selected() const;

    DemoBench& bench_;
    QListWidget* list_;
    QPushButton* plugButton_;
    QPushButton* addButton_;
    QLabel* lastReport_;
    QTimer poll_;
};

}  // namespace tpg::demo
