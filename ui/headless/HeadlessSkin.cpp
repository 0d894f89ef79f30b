#include "ui/headless/HeadlessSkin.h"

#include <stdexcept>

namespace tpg::ui::headless {

// One control's state. It plays whichever widget its kind asks for.
class HeadlessSkin::Item : public LabelWidget, public TextWidget, public ListWidget {
  public:
    Item(HeadlessSkin& skin, const ControlRow& row)
        : skin_(skin), row_(row), enabled_(row.enabled), text_(row.caption) {}

    void setEnabled(bool enabled) override { enabled_ = enabled; }
    bool isEnabled() const override { return enabled_; }

    void setText(const std::string& text) override { text_ = text; }
    std::string text() const override { return text_; }
    void setFocus() override {
        if (skin_.isUsable(row_.id)) {
            skin_.focused_ = row_.id;
        }
    }

    void clear() override {
        entries_.clear();
        current_ = -1;
    }
    void insertItem(int index, const std::string& text) override {
        if (index < 0 || index > count()) {
            index = count();
        }
        entries_.insert(entries_.begin() + index, text);
        if (current_ >= index) {
            ++current_;
        }
    }
    int count() const override { return static_cast<int>(entries_.size()); }
    std::string itemText(int index) const override {
        return index >= 0 && index < count() ? entries_[static_cast<std::size_t>(index)]
                                             : std::string();
    }
    void setCurrentIndex(int index) override {
        current_ = index >= 0 && index < count() ? index : -1;
    }
    int currentIndex() const override { return current_; }

    const ControlRow& row() const { return row_; }
    const std::vector<std::string>& entries() const { return entries_; }

  private:
    HeadlessSkin& skin_;
    const ControlRow& row_;
    bool enabled_;
    std::string text_;
    std::vector<std::string> entries_;
    int current_ = -1;
};

HeadlessSkin::HeadlessSkin() {
    for (const auto& r : kControlTable) {
        items_[static_cast<std::size_t>(r.id)] = std::make_unique<Item>(*this, r);
    }
}

HeadlessSkin::~HeadlessSkin() = default;

HeadlessSkin::Item& HeadlessSkin::item(ControlId id) const {
    return *items_[static_cast<std::size_t>(id)];
}

Widget& HeadlessSkin::plainWidget(ControlId id) {
    return static_cast<LabelWidget&>(item(id));
}
LabelWidget& HeadlessSkin::labelWidget(ControlId id) {
    return item(id);
}
TextWidget& HeadlessSkin::textWidget(ControlId id) {
    return item(id);
}
ListWidget& HeadlessSkin::listWidget(ControlId id) {
    return item(id);
}

void HeadlessSkin::messageBox(const std::string& text, const std::string& title) {
    messages_.push_back(ShownMessage{text, title});
    focused_.reset();  // the box took the focus while it was open
}

bool HeadlessSkin::isEnabled(ControlId id) const {
    return static_cast<const LabelWidget&>(item(id)).isEnabled();
}

bool HeadlessSkin::isUsable(ControlId id) const {
    const auto frame = frameOf(row(id).container);
    return isEnabled(id) && (!frame || isEnabled(*frame));
}

std::string HeadlessSkin::text(ControlId id) const {
    const Item& it = item(id);
    if (it.row().kind == ControlKind::DropDownList) {
        return it.itemText(it.currentIndex());
    }
    return static_cast<const LabelWidget&>(it).text();
}

std::vector<std::string> HeadlessSkin::items(ControlId id) const {
    return item(id).entries();
}

int HeadlessSkin::selectedIndex(ControlId id) const {
    return item(id).currentIndex();
}

void HeadlessSkin::type(ControlId id, const std::string& text) {
    static_cast<TextWidget&>(item(id)).setText(text);
}

}  // namespace tpg::ui::headless
