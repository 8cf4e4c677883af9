"""Drives the Quillfind window as a screen-reader user would, through AT-SPI
(what Orca reads) and the keyboard (xdotool): type a query, read the rows,
walk the controls with Tab, select a row, open its menu with the Menu key,
cancel a dialog opened from that menu and open the menu again.

Usage: accessibility.py ROOTS DUMP_FILE WINDOW_PROGRAM
ROOTS is the fixture tree the window's index service indexes; the tree a
screen reader reads is written to DUMP_FILE and to standard output. The
window is started here, once this reader listens: Qt sends only the events
someone had asked for when its bridge started.
"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

ROOTS, DUMP_FILE, WINDOW_PROGRAM = sys.argv[1], sys.argv[2], sys.argv[3]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message, file=sys.stderr)
    return condition


def wait_for(predicate, what, seconds=15.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        pump()
        try:
            value = predicate()
        except Exception:  # the tree changes under us; ask again
            value = None
        if value:
            return value
        time.sleep(0.1)
    failures.append("timed out waiting for " + what)
    print("FAIL: timed out waiting for", what, file=sys.stderr)
    return None


def key(*names):
    for name in names:
        subprocess.run(["xdotool", "key", "--clearmodifiers", name], check=True)
        time.sleep(0.25)


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "quillfind":
            return app
    return None


def states(acc):
    return acc.getState().getStates()


def walk(acc, depth=0):
    """Every accessible below acc, tables' cells included (they are few)."""
    yield acc, depth
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def find(root, role, name=None):
    for acc, _ in walk(root):
        if acc.getRoleName() == role and (name is None or acc.name == name):
            return acc
    return None


# Qt lists popup menus under no window: a screen reader learns of them from
# their "showing" event, as this test does. What came into view is looked
# at later: right at the event the new object may not answer yet.
shown = []


def on_showing(event):
    if event.detail1 and event.source is not None:
        shown.append(event.source)


def is_popup(acc):
    try:
        return acc.getRoleName() == "popup menu"
    except GLib.GError:  # not there yet, or deleted once closed
        return None


pyatspi.Registry.registerEventListener(on_showing, "object:state-changed:showing")


def pump():
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)


def showing_menu(app):
    pump()
    popups = [acc for acc in shown if is_popup(acc)]
    # The window deletes its row menu once it closes: a closed one answers
    # no more.
    shown[:] = [acc for acc in shown if is_popup(acc) is not False]
    return popups[-1] if popups else None


def focused(app):
    for acc, _ in walk(app):
        if pyatspi.STATE_FOCUSED in states(acc) and acc.getRoleName() != "table cell":
            return acc
    return None


def line(acc, depth):
    shown = [s for s in (pyatspi.STATE_FOCUSABLE, pyatspi.STATE_FOCUSED, pyatspi.STATE_SELECTED)
             if s in states(acc)]
    flags = ",".join(pyatspi.stateToString(s) for s in shown)
    text = "  " * depth + "[%s] %r" % (acc.getRoleName(), acc.name)
    if acc.description:
        text += " — %r" % acc.description
    return text + (" (%s)" % flags if flags else "")


def dump(app):
    """What a screen reader reads: the showing controls, and the table's
    rows as it reads them, row by row."""
    lines = []
    for acc, depth in walk(app):
        if pyatspi.STATE_SHOWING not in states(acc) or acc.getRoleName() in ("filler", "table cell",
                                                                            "table row header", "panel"):
            continue
        lines.append(line(acc, 0))
        if acc.getRoleName() == "table":
            table = acc.queryTable()
            for r in range(table.nRows):
                cells = [table.getAccessibleAt(r, c).name for c in range(table.nColumns)]
                mark = " (selected)" if table.isRowSelected(r) else ""
                lines.append("    row %d%s: %s" % (r + 1, mark, " | ".join(cells)))
    return lines


window = subprocess.Popen([WINDOW_PROGRAM])


def finish(status):
    window.terminate()
    window.wait(10)
    sys.exit(status)


app = wait_for(application, "the window on the accessibility bus")
# A window manager gives a new window the keyboard focus; there is none here.
if app is None or subprocess.run(["xdotool", "search", "--sync", "--name", "^Quillfind$", "windowfocus", "--sync"],
                                 timeout=20).returncode != 0:
    print("FAIL: the window did not come up", file=sys.stderr)
    finish(1)
field = wait_for(lambda: find(app, "text", "搜索"), "the search field")
table = find(app, "table")
check(table is not None and table.name == "搜索结果", "the results table is named 搜索结果")

# The window comes up with the keyboard focus in the search field.
wait_for(lambda: pyatspi.STATE_FOCUSED in states(field), "the focus in the search field")
subprocess.run(["xdotool", "type", "--delay", "40", "report"], check=True)
rows = wait_for(lambda: table.queryTable().nRows == 3 and table.queryTable(), "the three report rows")
if rows is None:
    finish(1)

# Rows as read: the name cell says the folder, kinds, sizes and dates are
# Chinese although the session's locale is C.UTF-8.
names = sorted(rows.getAccessibleAt(r, 0).name for r in range(3))
check(names == ["report.pdf，位于 %s/docs/a" % ROOTS, "report.txt，位于 %s/docs/a" % ROOTS,
                "report.txt，位于 %s/docs/b" % ROOTS], "each name cell says its folder: %r" % names)
kinds = sorted(rows.getAccessibleAt(r, 1).name for r in range(3))
check(kinds == ["PDF 文档", "纯文本文档", "纯文本文档"], "the kinds are Chinese: %r" % kinds)
sizes = sorted(rows.getAccessibleAt(r, 2).name for r in range(3))
check(sizes == ["3 字节", "3 字节", "5 KB"], "the sizes are Chinese: %r" % sizes)
date = rows.getAccessibleAt(0, 4).name
check("年" in date and "月" in date and date.endswith("日"), "the dates are Chinese: %r" % date)
check(table.description == "按修改日期降序排列", "the table says its order: %r" % table.description)

# Tab walks the controls in reading order and comes back to the field.
reached = []
for _ in range(8):
    key("Tab")
    now = wait_for(lambda: focused(app), "a focused control")
    reached.append("%s %s" % (now.getRoleName(), now.name) if now else None)
expected = ["push button 显示预览面板", "push button 搜索选项", "push button 按名称排序", "push button 按大小排序",
            "push button 按创建日期排序", "push button 按修改日期降序排列", "table 搜索结果", "text 搜索"]
check(reached == expected, "Tab reaches %r" % reached)

# Select a row from the field with Return (the first row), as the status
# line says, and read what the table says is selected.
key("Return")
selected = wait_for(lambda: [r for r in range(3) if rows.isRowSelected(r)], "a selected row")
check(selected == [0], "Return selects the first row: %r" % selected)

# The Menu key opens that row's menu; Escape closes it.
key("Menu")
menu = wait_for(lambda: showing_menu(app), "the row menu from the Menu key")
items = [menu.getChildAtIndex(i).name for i in range(menu.childCount)] if menu else []
check(items[:2] == ["打开", "打开所在文件夹"] and "计算 SHA256" in items, "the row menu's items: %r" % items)
tree = dump(app)
if menu:
    tree += ["[popup menu]"] + ["  " + line(menu.getChildAtIndex(i), 0) for i in range(menu.childCount)]
key("Escape")
wait_for(lambda: not showing_menu(app), "the menu to close")

# A dialog opened from the menu and cancelled leaves the Menu key working.
key("Menu")
menu = wait_for(lambda: showing_menu(app), "the row menu again")
if menu:
    key(*(["Down"] * 9))
    chosen = [menu.getChildAtIndex(i).name for i in range(menu.childCount)
              if pyatspi.STATE_FOCUSED in states(menu.getChildAtIndex(i))]
    check(chosen == ["重命名…"], "the ninth item is 重命名…: %r" % chosen)
    key("Return")
    wait_for(lambda: find(app, "dialog"), "the rename dialog")
    key("Escape")
    wait_for(lambda: find(app, "dialog") is None, "the dialog to close")
    key("Menu")
    check(wait_for(lambda: showing_menu(app), "the row menu after the cancelled dialog") is not None,
          "the Menu key opens the row menu after a cancelled dialog")
    key("Escape")

with open(DUMP_FILE, "w", encoding="utf-8") as out:
    out.write("\n".join(tree) + "\n")
print("What a screen reader reads (the row menu open):")
print("\n".join(tree))
if not failures:
    print("accessibility: all checks passed")
finish(1 if failures else 0)
