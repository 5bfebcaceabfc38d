#!/usr/bin/python3
"""Prints what a screen reader finds of the running window over AT-SPI: every object's role,
name, states and interfaces, and for the list its text and caret. It then puts values into the
list through the EditableText interface, presses "Mittelwert" through the Action interface and
prints the events the list sent. Run by bench/atspi-dump, which starts the bus and the program."""

import sys
import time

import pyatspi
from gi.repository import GLib


def find_app(name, tries=50):
    for _ in range(tries):
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == name:
                return app
        time.sleep(0.2)
    sys.exit(f"no application {name} on the accessibility bus")


def interfaces(obj):
    return ",".join(sorted(pyatspi.listInterfaces(obj)))


def states(obj):
    return ",".join(sorted(pyatspi.stateToString(s) for s in obj.getState().getStates()))


def walk(obj, depth=0, found=None):
    print(f"{'  ' * depth}[{obj.getRoleName()}] \"{obj.name}\" states={states(obj)} "
          f"interfaces={interfaces(obj)}")
    if obj.name == "Messwerte" and "Text" in pyatspi.listInterfaces(obj):
        found.append(obj)
    for child in obj:
        if child is not None:
            walk(child, depth + 1, found)
    return found


def show_text(memo):
    text = memo.queryText()
    count = text.characterCount
    print(f"  characterCount={count} caretOffset={text.caretOffset} "
          f"text={text.getText(0, -1)!r}")
    for k in range(text.getNSelections()):
        start, end = text.getSelection(k)
        print(f"  selection {k}: {start}..{end} {text.getText(start, end)!r}")
    content, start, end = text.getTextAtOffset(text.caretOffset, pyatspi.TEXT_BOUNDARY_LINE_START)
    print(f"  line at caret: {content!r} ({start}..{end})")


def pump(seconds):
    context = GLib.MainContext.default()
    end = time.time() + seconds
    while time.time() < end:
        context.iteration(False)
        time.sleep(0.01)


def main():
    app = find_app(sys.argv[1] if len(sys.argv) > 1 else "messwerte")
    print(f"application \"{app.name}\"")
    found = walk(app, 1, [])
    if not found:
        sys.exit("the list offers no Text interface")
    memo = found[0]
    print("\nThe list, empty:")
    show_text(memo)

    heard = []

    def listen(event):
        if event.source == memo or (event.source is not None and event.source.name == "Messwerte"):
            heard.append(f"{event.type} detail1={event.detail1} detail2={event.detail2} "
                         f"any_data={event.any_data!r}")

    for kind in ("object:text-changed", "object:text-caret-moved",
                 "object:text-selection-changed"):
        pyatspi.Registry.registerEventListener(listen, kind)

    memo.queryEditableText().insertText(0, "12,5\n13\nx\n14,25", len("12,5\n13\nx\n14,25"))
    pump(1.0)
    print("\nAfter inserting four lines through EditableText:")
    show_text(memo)

    for button in pyatspi.findAllDescendants(app, lambda o: o.name == "Mittelwert"):
        button.queryAction().doAction(0)
    pump(1.5)
    print("\nAfter pressing \"Mittelwert\" (line 3 is rejected):")
    show_text(memo)

    print("\nEvents from the list:")
    for line in heard:
        print("  " + line)


if __name__ == "__main__":
    main()
