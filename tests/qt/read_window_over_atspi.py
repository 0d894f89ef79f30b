"""Reads the demo's windows over AT-SPI, as a screen reader does: each is a
frame (the tool's window, titled "Trelvix Pulse Generator", and the bench
window beside it), and each control of the tool's window that takes the
focus has its role and the name of the caption beside it. A list also says
which label names it and offers the entry it shows as text."""
import sys
import time

import pyatspi

TITLE = "Trelvix Pulse Generator"
# Role and name of every control that takes the focus, as a screen reader
# announces them.
EXPECTED = sorted([
    ("combo box", "Amplitude into 50R load, mV"),
    ("combo box", "Serial Number"),
    ("combo box", "Trigger/sync function"),
    ("combo box", "Polarity"),
    ("text", "Pulse frequency, Hz"),
    ("text", "Set input frequency, Hz"),
    ("push button", "Pulse frequency, Hz"),
    ("push button", "Set input frequency, Hz"),
    ("push button", "Restore default settings"),
])


def demo_application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "trelvix-pulse-demo":
            return app
    return None


def tool_window():
    app = demo_application()
    for window in app if app is not None else []:
        if window is not None and window.name == TITLE:
            return window
    return None


def focusable_controls(node):
    """The controls below node that take the focus; a list's popup entries
    are the list's, not controls of the window."""
    found = []
    for child in node:
        if child is None:
            continue
        if child.getState().contains(pyatspi.STATE_FOCUSABLE):
            found.append(child)
        else:
            found.extend(focusable_controls(child))
    return found


def shown_entry(control):
    try:
        return control.queryText().getText(0, -1)
    except NotImplementedError:
        return ""


def main():
    deadline = time.monotonic() + 60
    window = None
    while window is None or len(focusable_controls(window)) < len(EXPECTED):
        if time.monotonic() > deadline:
            if window is not None:
                step = (f"the tool's window showed {len(focusable_controls(window))} of its "
                        f"{len(EXPECTED)} controls")
            elif demo_application() is None:
                step = "the demo did not join the accessibility bus"
            else:
                step = f"the demo joined the accessibility bus but has no window {TITLE!r}"
            print(f"read_window_over_atspi: after 60 s, {step}", file=sys.stderr)
            return 1
        time.sleep(0.5)
        window = tool_window()

    failures = []
    for top in window.parent:
        if top is not None and top.getRole() != pyatspi.ROLE_FRAME:
            failures.append(f"window {top.name!r} is a {top.getRoleName()!r}, not a frame")
    controls = focusable_controls(window)
    got = sorted((c.getRoleName(), c.name) for c in controls)
    if got != EXPECTED:
        failures.append(f"controls read: {got}\n  expected: {EXPECTED}")
    for control in controls:
        if control.getRole() != pyatspi.ROLE_COMBO_BOX:
            continue
        labels = [target.name
                  for relation in control.getRelationSet()
                  if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
                  for target in (relation.getTarget(i) for i in range(relation.getNTargets()))]
        if control.name not in labels:
            failures.append(f"list {control.name!r} is labelled by {labels}")
        if not shown_entry(control):
            failures.append(f"list {control.name!r} offers no entry as text")

    for control in controls:
        extra = ""
        if control.getRole() == pyatspi.ROLE_COMBO_BOX:
            extra = f" showing {shown_entry(control)!r}"
        print(f"{control.getRoleName()} {control.name!r}{extra}")
    for failure in failures:
        print("FAIL: " + failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
