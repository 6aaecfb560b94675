#!/usr/bin/env python3
"""Reads Korvalux's window over AT-SPI as a screen reader does, from outside the
process: every control's role, name, labels, state and actions as one table; a
word query at the end of each text box answered; Tab into the Results box
told as a focus before any caret move; Press on Convert converting,
with the result announced by a notification while the focus stays. Run by atspi_session.sh with
the program's PID as its one argument."""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

RESULT = "1.00 USD = 0.9200 EUR (2026-07-06)"
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message, file=sys.stderr)


def find_application(pid, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            try:
                if app is not None and app.get_process_id() == pid:
                    frames = [c for c in app if c.getRole() == pyatspi.ROLE_FRAME]
                    if frames and frames[0].name == "Korvalux":
                        return app, frames[0]
            except Exception:  # an application going away while we look
                pass
        time.sleep(0.2)
    return None, None


def descendants(node):
    for child in node:
        if child is None:
            continue
        yield child
        yield from descendants(child)


def actions(node):
    try:
        action = node.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def labels(node):
    names = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return names


def main():
    pid = int(sys.argv[1])
    app, frame = find_application(pid)
    if frame is None:
        print("FAIL: no Korvalux window on the AT-SPI bus", file=sys.stderr)
        return 1

    # By role value: the role's name is spelt differently from one AT-SPI
    # release to the next ("push button", "button").
    controls = {}
    for node in descendants(frame):
        controls.setdefault((node.getRole(), node.name), node)

    # role, name, labelled by, first action, editable
    rows = [
        (pyatspi.ROLE_TEXT, "Amount to Convert", [], "SetFocus", True),
        (pyatspi.ROLE_COMBO_BOX, "United States Dollar (USD)", ["From:"], None, False),
        (pyatspi.ROLE_COMBO_BOX, "Euro (EUR)", ["To:"], None, False),
        (pyatspi.ROLE_PUSH_BUTTON, "Convert", [], "Press", False),
        (pyatspi.ROLE_TEXT, "Results", ["Results"], "SetFocus", False),
        (pyatspi.ROLE_PUSH_BUTTON, "Copy To Clipboard", ["Results"], "Press", False),
    ]
    for role, name, labelled_by, first_action, editable in rows:
        node = controls.get((role, name))
        check(node is not None, "no %s named %r; found %r" % (
            role, name, sorted((n.getRoleName(), n.name) for n in controls.values())))
        if node is None:
            continue
        states = node.getState()
        check(labels(node) == labelled_by, "%r labelled by %r" % (name, labels(node)))
        check(states.contains(pyatspi.STATE_FOCUSABLE), "%r not focusable" % name)
        check(not states.contains(pyatspi.STATE_CHECKABLE), "%r checkable" % name)
        check(states.contains(pyatspi.STATE_EDITABLE) == editable, "%r editable is wrong" % name)
        names = actions(node)
        if first_action:
            check(names[:1] == [first_action], "%r actions %r" % (name, names))
        check("Toggle" not in names, "%r offers Toggle" % name)

    # The query that used to hang: the word at the end of each box.
    for name in ("Amount to Convert", "Results"):
        node = controls.get((pyatspi.ROLE_TEXT, name))
        if node is None:
            continue
        text = node.queryText()
        for boundary in (pyatspi.TEXT_BOUNDARY_WORD_START, pyatspi.TEXT_BOUNDARY_WORD_END,
                         pyatspi.TEXT_BOUNDARY_CHAR, pyatspi.TEXT_BOUNDARY_SENTENCE_START,
                         pyatspi.TEXT_BOUNDARY_LINE_START):
            for offset in range(text.characterCount + 1):
                answer = text.getTextAtOffset(offset, boundary)
                check(answer is not None, "%r offset %d gave nothing" % (name, offset))

    # Tabbing into the Results box tells of the focus before any caret move:
    # a screen reader takes a caret move in a box it does not know as focused
    # for a silent focus change, and then skips the focus event.
    results = controls.get((pyatspi.ROLE_TEXT, "Results"))
    convert = controls.get((pyatspi.ROLE_PUSH_BUTTON, "Convert"))
    if results is not None and convert is not None:
        seen = []

        def on_event(event):
            if event.source.name == "Results":
                seen.append(event.type if event.type != "object:state-changed:focused"
                            else "focused %d" % event.detail1)

        kinds = ("object:state-changed:focused", "object:text-caret-moved")
        pyatspi.Registry.registerEventListener(on_event, *kinds)
        convert.queryComponent().grabFocus()
        time.sleep(0.5)
        subprocess.run(["xdotool", "key", "Tab"], check=True)
        loop = GLib.MainLoop()
        GLib.timeout_add(1500, loop.quit)
        loop.run()
        pyatspi.Registry.deregisterEventListener(on_event, *kinds)
        check(seen[:1] == ["focused 1"], "Results events on Tab: %r" % seen)


    results = controls.get((pyatspi.ROLE_TEXT, "Results"))
    if convert is not None and results is not None:
        announced = []

        def on_showing(event):
            if event.detail1 and event.source.getRole() == pyatspi.ROLE_NOTIFICATION:
                announced.append(event.source.name)

        pyatspi.Registry.registerEventListener(on_showing, "object:state-changed:showing")
        convert.queryComponent().grabFocus()
        convert.queryAction().doAction(0)
        loop = GLib.MainLoop()
        GLib.timeout_add(3000, loop.quit)
        loop.run()
        pyatspi.Registry.deregisterEventListener(on_showing, "object:state-changed:showing")
        text = results.queryText()
        check(text.getText(0, -1) == RESULT, "Results hold %r" % text.getText(0, -1))
        check(announced == [RESULT], "announcements %r" % announced)
        check(convert.getState().contains(pyatspi.STATE_FOCUSED), "Convert lost the focus")

    if failures:
        return 1
    print("AT-SPI view of the window is as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
