#include "ui/qt/QtSkin.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <limits>

#include "ui/MainWindow.h"
#include "ui/qt/AccessibleInterfaces.h"
#include "ui/qt/QtFonts.h"
#include "ui/qt/WindowIcon.h"

namespace tpg::ui::qt {

// The top-level window. Closing it is the window's unload event; closing is
// never refused.
class QtSkin::Form : public QWidget {
  public:
    explicit Form(std::function<void()> onClose) : onClose_(std::move(onClose)) {}

  protected:
    void closeEvent(QCloseEvent* event) override {
        onClose_();
        event->accept();
    }

  private:
    std::function<void()> onClose_;
};

namespace {

QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* makeLabel(const ControlRow& row, QWidget& parent) {
    auto* label = new QLabel(qText(row.caption), &parent);
    // Device strings are shown as they are, never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(false);
    if (row.kind == ControlKind::ValueLabel) {
        // The system's window background and window-text colours, rather
        // than the window's face colour of the plain labels; the same in
        // every state, also inside a disabled frame.
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, palette.color(QPalette::Active, QPalette::Base));
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Active, QPalette::Text));
        label->setPalette(palette);
        label->setAutoFillBackground(true);
    }
    return label;
}

}  // namespace

QtSkin::QtSkin()
    : form_(std::make_unique<Form>([this] {
          if (target_ != nullptr) {
              target_->Form_Unload();
          }
      })) {
    timer_.setTickHandler([this] {
        if (target_ != nullptr) {
            target_->timerTick();
        }
    });
    installAccessibleInterfaces();
    build();
}

QtSkin::~QtSkin() = default;

void QtSkin::build() {
    Form& form = *form_;
    form.setWindowTitle(qText(kWindowRow.caption));
    form.setWindowIcon(windowIcon());
    form.setFont(fontFor(kWindowRow.fontName, kWindowRow.fontPoints));
    // A fixed layout: the window cannot be resized or maximised.
    form.setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                        Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    form.setFixedSize(twipsToPixels(kWindowRow.clientWidth, form.logicalDpiX()),
                      twipsToPixels(kWindowRow.clientHeight, form.logicalDpiY()));

    // Created from the bottom of the stack to the top, as each new widget
    // lies above its siblings: frames first, so that every control finds its
    // container, then the labels, then the controls that take input.
    for (const ControlId id : stackingOrder()) {
        const ControlRow& r = row(id);
        const auto frame = frameOf(r.container);
        QWidget* parent = frame ? widgets_[index(*frame)] : form_.get();
        widgets_[index(id)] = makeControl(r, *parent);
    }
    // lblSerialNumber shares lblProduct's rectangle beneath it and is never
    // written; it lets the mouse through as well.
    widget(ControlId::lblSerialNumber)->setAttribute(Qt::WA_TransparentForMouseEvents);

    const auto order = focusOrder();
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget::setTabOrder(widget(order[i]), widget(order[i + 1]));
    }

    // Screen readers name a list by its current entry and a text box by its
    // frame's title unless told otherwise: every control that takes the
    // focus gets the table's name for it. A plain label beside an input
    // becomes its buddy as well, which AT-SPI reports as the input's
    // "labelled by" relation.
    for (const ControlId id : order) {
        widget(id)->setAccessibleName(qText(accessibleName(id)));
        if (const auto label = row(id).label) {
            if (auto* text = qobject_cast<QLabel*>(widget(*label))) {
                text->setBuddy(widget(id));
            }
        }
    }
}

QWidget* QtSkin::makeControl(const ControlRow& r, QWidget& parent) {
    QWidget* w = nullptr;
    switch (r.kind) {
        case ControlKind::Frame: {
            auto* box = new QGroupBox(qText(r.caption), &parent);
            adapters_[index(r.id)] = std::make_unique<PlainAdapter>(*box);
            w = box;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(qText(r.caption), &parent);
            button->setAutoDefault(false);
            adapters_[index(r.id)] = std::make_unique<PlainAdapter>(*button);
            w = button;
            break;
        }
        case ControlKind::DropDownList: {
            auto* combo = new PickOnlyComboBox(&parent);
            adapters_[index(r.id)] = std::make_unique<ListAdapter>(*combo);
            w = combo;
            break;
        }
        case ControlKind::TextBox: {
            auto* edit = new QLineEdit(&parent);
            edit->setMaxLength(std::numeric_limits<int>::max());
            adapters_[index(r.id)] = std::make_unique<TextAdapter>(*edit);
            w = edit;
            break;
        }
        case ControlKind::Label:
        case ControlKind::ValueLabel: {
            QLabel* label = makeLabel(r, parent);
            adapters_[index(r.id)] = std::make_unique<LabelAdapter>(*label);
            w = label;
            break;
        }
        case ControlKind::Timer:
            return nullptr;
    }
    w->setObjectName(qText(r.name));
    w->setFont(fontFor(r.fontName, r.fontPoints));
    w->setGeometry(twipsToPixels(r.left, parent.logicalDpiX()),
                   twipsToPixels(r.top, parent.logicalDpiY()),
                   twipsToPixels(r.width, parent.logicalDpiX()),
                   twipsToPixels(r.height, parent.logicalDpiY()));
    w->setFocusPolicy(takesFocus(r.kind) ? Qt::StrongFocus : Qt::NoFocus);
    w->setEnabled(r.enabled);
    if (!r.visible) {
        w->hide();
    }
    connectUserEvents(r, *w);
    return w;
}

void QtSkin::connectUserEvents(const ControlRow& r, QWidget& w) {
    const ControlId id = r.id;
    if (r.kind == ControlKind::DropDownList) {
        // activated: the user's pick only, also of the entry already shown.
        // currentIndexChanged is left alone: code changes raise it too.
        QObject::connect(static_cast<QComboBox*>(&w), &QComboBox::activated, &w,
                         [this, id](int picked) {
                             if (target_ != nullptr) {
                                 target_->userPicked(id, picked);
                             }
                         });
    } else if (r.kind == ControlKind::Button) {
        QObject::connect(static_cast<QPushButton*>(&w), &QPushButton::clicked, &w, [this, id] {
            if (target_ != nullptr) {
                target_->buttonPressed(id);
            }
        });
    }
}

Widget& QtSkin::plainWidget(ControlId id) {
    return *adapters_[index(id)];
}

LabelWidget& QtSkin::labelWidget(ControlId id) {
    return dynamic_cast<LabelWidget&>(*adapters_[index(id)]);
}

TextWidget& QtSkin::textWidget(ControlId id) {
    return dynamic_cast<TextWidget&>(*adapters_[index(id)]);
}

ListWidget& QtSkin::listWidget(ControlId id) {
    return dynamic_cast<ListWidget&>(*adapters_[index(id)]);
}

QWidget& QtSkin::window() {
    return *form_;
}

void QtSkin::show() {
    form_->show();
}

void QtSkin::messageBox(const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::Ok, form_.get());
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    // The box runs an event loop of its own; a tick that falls due meanwhile
    // waits in the window until the handler that opened the box is done.
    box.exec();
    // Without a window manager (or with one that leaves it to the program)
    // nothing hands the activation back; the focus the window's handler
    // gives next must land in an active window.
    form_->activateWindow();
}

std::string QtSkin::decimalSeparator() const {
    // The locale's separator as it stands, one character or more (U+066B in
    // Arabic locales); the number grammar reads it as UTF-8 text.
    return QLocale().decimalPoint().toStdString();
}

}  // namespace tpg::ui::qt
