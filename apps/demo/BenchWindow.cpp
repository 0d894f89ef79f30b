#include "apps/demo/BenchWindow.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "protocol/AmplitudeTable.h"

namespace tpg::demo {

namespace {

QString describe(const DemoBench& bench, std::size_t generator) {
    const protocol::DeviceState s = bench.settings(generator);
    const bool amplitudeListed =
        s.amplitudeIndex >= 0 && s.amplitudeIndex < protocol::kAmplitudeSteps;
    return QStringLiteral("%1   %2\n    %3 Hz, %4 mV, %5\n    %6, sync input frequency %7 Hz")
        .arg(
            QString::fromStdString(bench.serial(generator)),
            bench.isPlugged(generator) ? QStringLiteral("plugged in") : QStringLiteral("unplugged"),
            QString::number(s.pulseFrequency),
            amplitudeListed ? QString::fromStdString(protocol::amplitudeText(s.amplitudeIndex))
                            : QStringLiteral("?"),
            s.polarityIndex == 0 ? QStringLiteral("inverted") : QStringLiteral("normal"),
            s.triggerSyncFunction == 1 ? QStringLiteral("sync input")
                                       : QStringLiteral("trigger output"),
            QString::number(s.syncFrequency));
}

QString hexBytes(const std::vector<std::uint8_t>& bytes, std::size_t shown) {
    QStringList parts;
    for (std::size_t i = 0; i < bytes.size() && i < shown; ++i) {
        parts << QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
    }
    return parts.join(QLatin1Char(' '));
}

}  // namespace

BenchWindow::BenchWindow(DemoBench& bench, QWidget* parent)
    : QWidget(parent),
      bench_(bench),
      list_(new QListWidget(this)),
      plugButton_(new QPushButton(QStringLiteral("Unplug"), this)),
      addButton_(new QPushButton(QStringLiteral("Add generator"), this)),
      lastReport_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Demo bench (simulated USB ports)"));
    // Closing the tool's window ends the demo; this one alone does not.
    setAttribute(Qt::WA_QuitOnClose, false);
    lastReport_->setTextFormat(Qt::PlainText);
    lastReport_->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(plugButton_);
    buttons->addWidget(addButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Generators on the bench:"), this));
    layout->addWidget(list_);
    layout->addLayout(buttons);
    layout->addWidget(lastReport_);
    resize(400, 320);

    connect(plugButton_, &QPushButton::clicked, this, [this] { togglePlugged(); });
    connect(addButton_, &QPushButton::clicked, this, [this] { addGenerator(); });
    connect(list_, &QListWidget::currentRowChanged, this, [this] { refresh(); });
    // The tool changes the generators' settings; the bench shows them as
    // they change.
    connect(&poll_, &QTimer::timeout, this, [this] { refresh(); });
    poll_.start(200);
    refresh();
}

std::size_t BenchWindow::selected() const {
    const int row = list_->currentRow();
    return row < 0 ? bench_.count() : static_cast<std::size_t>(row);
}

void BenchWindow::refresh() {
    while (list_->count() < static_cast<int>(bench_.count())) {
        list_->addItem(QString());
    }
    for (std::size_t i = 0; i < bench_.count(); ++i) {
        QListWidgetItem* item = list_->item(static_cast<int>(i));
        const QString text = describe(bench_, i);
        if (item->text() != text) {
            item->setText(text);
        }
    }
    if (list_->currentRow() < 0 && list_->count() > 0) {
        // The generator the tool's window opens at the start: the last listed.
        list_->setCurrentRow(list_->count() - 1);
    }
    const std::size_t current = selected();
    plugButton_->setEnabled(current < bench_.count());
    plugButton_->setText(current < bench_.count() && !bench_.isPlugged(current)
                             ? QStringLiteral("Plug in")
                             : QStringLiteral("Unplug"));
    const auto& sent = bench_.bench().sentReports();
    lastReport_->setText(sent.empty() ? QStringLiteral("No report received yet.")
                                      : QStringLiteral("Reports received: %1; last, to %2: %3 ...")
                                            .arg(QString::number(sent.size()),
                                                 QString::fromStdString(sent.back().path),
                                                 hexBytes(sent.back().bytes, 8)));
}

void BenchWindow::togglePlugged() {
    const std::size_t current = selected();
    if (current >= bench_.count()) {
        return;
    }
    if (bench_.isPlugged(current)) {
        bench_.unplug(current);
    } else {
        bench_.plug(current);
    }
    refresh();
}

void BenchWindow::addGenerator() {
    const std::size_t added = bench_.addGenerator();
    refresh();
    list_->setCurrentRow(static_cast<int>(added));
}

}  // namespace tpg::demo
