#include "ui/qt/SkinWidgets.h"

namespace tpg::ui::qt {

bool ownEnabledState(const QWidget& widget) {
    return !widget.testAttribute(Qt::WA_ForceDisabled);
}

void LabelAdapter::setText(const std::string& text) {
    label_.setText(QString::fromStdString(text));
}

void TextAdapter::setText(const std::string& text) {
    edit_.setText(QString::fromStdString(text));
}

void TextAdapter::setFocus() {
    // isEnabled() is false also inside a disabled frame: such a box cannot
    // take the focus, and the focus stays where it is.
    if (edit_.isEnabled()) {
        edit_.setFocus(Qt::OtherFocusReason);
    }
}

void ListAdapter::insertItem(int index, const std::string& text) {
    // On an empty combo box the insertion also selects the new entry; the
    // core expects adding an entry to select nothing, so that is undone.
    // Neither change reaches the core: only the user's picks are connected.
    const int before = combo_.currentIndex();
    combo_.insertItem(index, QString::fromStdString(text));
    if (before < 0 && combo_.currentIndex() >= 0) {
        combo_.setCurrentIndex(-1);
    }
}

std::string ListAdapter::itemText(int index) const {
    return combo_.itemText(index).toStdString();
}

void ListAdapter::setCurrentIndex(int index) {
    combo_.setCurrentIndex(index >= 0 && index < combo_.count() ? index : -1);
}

TimerAdapter::TimerAdapter() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
        if (onTick_) {
            onTick_();
        }
    });
}

void TimerAdapter::start(int intervalMs) {
    timer_.start(intervalMs);
}

void TimerAdapter::stop() {
    timer_.stop();
}

}  // namespace tpg::ui::qt
