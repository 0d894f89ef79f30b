#include "ui/Controls.h"

namespace tpg::ui {

void DropDownList::addItem(int index, const std::string& text) {
    widget_.insertItem(index, text);
}

void DropDownList::setSelectedIndex(int index) {
    widget_.setCurrentIndex(index >= 0 && index < widget_.count() ? index : -1);
    runHandler();
}

std::string DropDownList::text() const {
    const int index = widget_.currentIndex();
    return index >= 0 && index < widget_.count() ? widget_.itemText(index) : std::string();
}

void DropDownList::userPicked(int index) {
    if (index < 0 || index >= widget_.count()) {
        return;  // not an entry: nothing was picked
    }
    if (widget_.currentIndex() != index) {
        widget_.setCurrentIndex(index);
    }
    runHandler();
}

void DropDownList::runHandler() const {
    if (handler_) {
        handler_();
    }
}

void Timer::setEnabled(bool enabled) {
    enabled_ = enabled;
    deferred_ = false;
    if (enabled_) {
        widget_.start(interval_);
    } else {
        widget_.stop();
    }
}

void Timer::setInterval(int milliseconds) {
    interval_ = milliseconds;
    if (enabled_) {
        deferred_ = false;
        widget_.start(interval_);  // a new interval counts from now
    }
}

}  // namespace tpg::ui
