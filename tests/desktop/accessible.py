#!/usr/bin/python3
# What a screen reader learns of the application APP, read from the accessibility bus as Orca
# reads it. One line per finding, fields separated by tabs:
#   popups         each top-level window announced as it appears: "ROLE  NAME"
#   trees          each tree: "tree  NAME  SHOWING", then its rows: "row  TREE  NAME  STATES"
#   notes          each row of a tree with a description: "note  TREE  NAME  DESCRIPTION"
#   status         each status bar: "status  TEXT"
#   focus          the object that has the keyboard focus: "focus  ROLE  NAME"
#   pages          each page tab: "page  NAME  selected|-"
#   menus          each menu item shown on screen: "menu item  NAME"
#   window TITLE   what the window TITLE holds: "label  TEXT", "image  NAME  DESCRIPTION",
#                  "combo  NAME", "header  NAME", "cell  NAME" (a list's, row by row)
#   listen SECONDS what a screen reader hears while moving, for that long: "event  TYPE  NAME"
#   attend SECONDS listens to every event, as a screen reader does, for that long (or until
#                  ended), and says "listening", then "known" once APP is on the bus
#   selected       each tree's selection as it tells it: "selection  TREE  COUNT  ROW", then
#                  that row's place on screen, the frame's, the row a magnifier finds at the
#                  row's middle, and its actions: "place  ROW  X Y W H", "frame  X Y W H",
#                  "at point  ROW", "actions  ROW  NAME,NAME"
#   act ROW ACTION does the row's action of that name, in the first tree that has the row
# Usage: accessible.py APP MODE [SECONDS | TITLE | ROW ACTION]
import sys

import pyatspi

ANNOUNCED = ("notification", "alert")


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == sys.argv[1]:
            return app
    return None


def states(thing):
    return thing.getState()


def walk(thing, found, limit=100000):
    """Every object below thing, depth first, that found(object) accepts; rows of trees too."""
    result = []
    stack = [thing]
    while stack and len(result) < limit:
        current = stack.pop()
        if current is None:
            continue
        if found(current):
            result.append(current)
        stack.extend(reversed([current.getChildAtIndex(i) for i in range(current.childCount)]))
    return result


def role(thing):
    return thing.getRoleName()


def say(*fields):
    print("\t".join(str(field) for field in fields), flush=True)


def main():
    mode = sys.argv[2]
    if mode == "attend":
        # Whether the application is there yet or not: it may start later.
        for kind in ("object:", "window:", "focus:"):
            pyatspi.Registry.registerEventListener(lambda event: None, kind)
        from gi.repository import GLib
        GLib.timeout_add(int(float(sys.argv[3]) * 1000), lambda: pyatspi.Registry.stop())

        def look():
            if application() is None:
                return True
            say("known")
            return False

        GLib.timeout_add(100, look)
        say("listening")
        pyatspi.Registry.start()
        return
    app = application()
    if app is None:
        sys.exit("no application " + sys.argv[1] + " on the accessibility bus")
    if mode == "popups":
        for window in app:
            if window is not None and role(window) in ANNOUNCED:
                say(role(window), window.name)
    elif mode == "trees":
        for tree in walk(app, lambda o: role(o) == "tree"):
            say("tree", tree.name, "showing" if states(tree).contains(pyatspi.STATE_SHOWING) else "-")
            for row in tree:
                marks = [name for name, state in (("selected", pyatspi.STATE_SELECTED),
                                                  ("focused", pyatspi.STATE_FOCUSED),
                                                  ("expanded", pyatspi.STATE_EXPANDED))
                         if states(row).contains(state)]
                say("row", tree.name, row.name, ",".join(marks) or "-")
    elif mode == "notes":
        for tree in walk(app, lambda o: role(o) == "tree"):
            for row in tree:
                if row.description:
                    say("note", tree.name, row.name, row.description)
    elif mode == "status":
        for bar in walk(app, lambda o: role(o) == "status bar"):
            say("status", bar.name)
    elif mode == "focus":
        for thing in walk(app, lambda o: states(o).contains(pyatspi.STATE_FOCUSED) and role(o) != "tree item"):
            say("focus", role(thing), thing.name)
    elif mode == "pages":
        for tab in walk(app, lambda o: role(o) == "page tab"):
            say("page", tab.name, "selected" if states(tab).contains(pyatspi.STATE_SELECTED) else "-")
    elif mode == "menus":
        for item in walk(app, lambda o: role(o) == "menu item" and states(o).contains(pyatspi.STATE_SHOWING)):
            say("menu item", item.name)
    elif mode == "window":
        for window in app:
            if window is None or window.name != sys.argv[3]:
                continue
            kinds = {"label": "label", "image": "image", "combo box": "combo",
                     "table column header": "header", "table cell": "cell"}
            for thing in walk(window, lambda o: role(o) in kinds):
                kind = kinds[role(thing)]
                if kind == "image":
                    say(kind, thing.name, thing.description)
                else:
                    say(kind, thing.name)
    elif mode == "listen":
        def heard(event):
            if event.host_application is None or event.host_application.name != sys.argv[1]:
                return
            thing = event.any_data if event.type.startswith("object:active-descendant-changed") else event.source
            if event.type.startswith("object:state-changed") and not event.detail1:
                return
            say("event", event.type, thing.name if thing is not None else "")

        for kind in ("object:active-descendant-changed", "object:state-changed:focused",
                     "object:state-changed:selected"):
            pyatspi.Registry.registerEventListener(heard, kind)
        from gi.repository import GLib
        GLib.timeout_add(int(float(sys.argv[3]) * 1000), lambda: pyatspi.Registry.stop())
        say("listening")
        pyatspi.Registry.start()
    elif mode == "selected":
        screen = pyatspi.DESKTOP_COORDS
        for window in app:
            if window is not None and role(window) == "frame":
                box = window.queryComponent().getExtents(screen)
                say("frame", "%d %d %d %d" % (box.x, box.y, box.width, box.height))
        for tree in walk(app, lambda o: role(o) == "tree"):
            selection = tree.querySelection()
            count = selection.nSelectedChildren
            row = selection.getSelectedChild(0) if count else None
            say("selection", tree.name, count, row.name if row is not None else "")
            if row is None:
                continue
            box = row.queryComponent().getExtents(screen)
            say("place", row.name, "%d %d %d %d" % (box.x, box.y, box.width, box.height))
            found = tree.queryComponent().getAccessibleAtPoint(box.x + box.width // 2,
                                                               box.y + box.height // 2, screen)
            say("at point", found.name if found is not None else "")
            action = row.queryAction()
            say("actions", row.name, ",".join(action.getName(i) for i in range(action.nActions)))
    elif mode == "act":
        for tree in walk(app, lambda o: role(o) == "tree"):
            for row in tree:
                if row.name == sys.argv[3]:
                    action = row.queryAction()
                    names = [action.getName(i) for i in range(action.nActions)]
                    if sys.argv[4] not in names or not action.doAction(names.index(sys.argv[4])):
                        sys.exit("the row " + sys.argv[3] + " cannot " + sys.argv[4])
                    return
        sys.exit("no row " + sys.argv[3])
    else:
        sys.exit("unknown mode " + mode)


main()
