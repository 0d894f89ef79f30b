// The window's controls as one table: every skin draws the window from it,
// and nothing about a control's place, size, caption, font or tab order is
// written anywhere else.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tpg::ui {

// The 25 controls, in the order of their index (1 to 25).
enum class ControlId {
    trig_frame,
    SetFsync,
    polarity,
    ext_sync_freq,
    ext_trig_dir,
    Label8,
    Label9,
    Factory,
    Frame3,
    Foutput,
    SetFout,
    Vout,
    Label7,
    Label6,
    Frame1,
    SerNo,
    Timer,
    lblSerialNumber,
    lblVersion,
    lblProduct,
    lblManuf,
    Label2,
    Label5,
    Label4,
    Label3,
};
inline constexpr int kControlCount = 25;

enum class ControlKind { Frame, Button, DropDownList, TextBox, Label, ValueLabel, Timer };

// Where a control sits: the window, one of the three frames, or nowhere (the
// timer is not drawn).
enum class Container { Window, NotDrawn, trig_frame, Frame3, Frame1 };

struct ControlRow {
    int index;  // 1 to 25
    ControlId id;
    std::string_view name;
    ControlKind kind;
    Container container;
    std::string_view caption;  // empty: no caption, or an empty text
    // Position and size in twips, from the top-left corner of the client area
    // of the container. All 0 for the timer.
    int left;
    int top;
    int width;
    int height;
    std::string_view fontName;  // empty for the timer
    double fontPoints;
    int tabIndex;  // -1 for the timer
    bool enabled;
    bool visible;
    // The label or button beside an input that has no caption of its own,
    // whose caption is the input's name for a screen reader; empty for every
    // other control.
    std::optional<ControlId> label;
};

extern const std::array<ControlRow, kControlCount> kControlTable;

struct WindowRow {
    std::string_view caption;
    int clientWidth;   // twips
    int clientHeight;  // twips
    std::string_view fontName;
    double fontPoints;
    int timerInterval;  // initial interval of the timer, ms
};

extern const WindowRow kWindowRow;

// The entries of the two short lists, by the index the generator takes.
inline constexpr std::array<std::string_view, 2> kTriggerSyncEntries = {"Trigger output",
                                                                        "Sync input"};
inline constexpr std::array<std::string_view, 2> kPolarityEntries = {"Inverted", "Normal"};

inline constexpr int kTwipsPerInch = 1440;

const ControlRow& row(ControlId id);
std::optional<ControlId> controlNamed(std::string_view name);
// The frame a container stands for, or nothing for the window.
std::optional<ControlId> frameOf(Container container);

// The name a screen reader gives the control: the caption of its label when
// the table names one, else its own caption.
std::string_view accessibleName(ControlId id);

// Twips to pixels at the given logical dots per inch, rounded to nearest.
int twipsToPixels(int twips, int dpi);

// Text boxes, lists and buttons: the kinds that take the keyboard focus and
// the mouse. Frames, labels and the timer hold a place in the tab order but
// never take the focus.
constexpr bool takesFocus(ControlKind kind) {
    return kind == ControlKind::Button || kind == ControlKind::TextBox ||
           kind == ControlKind::DropDownList;
}

// The controls that take the keyboard focus, in tab order.
std::array<ControlId, 9> focusOrder();

// Every drawn control (all but the timer), from the bottom of the stack to
// the top: frames, then labels and value labels, then the controls that take
// input. Labels are drawn on their container, so one whose rectangle reaches
// under a list or a text box never covers it or takes its clicks. Within each
// layer a lower tab index lies higher, which puts lblProduct above
// lblSerialNumber on the rectangle they share and stacks the input controls
// in tab order from the top.
std::array<ControlId, kControlCount - 1> stackingOrder();

}  // namespace tpg::ui
