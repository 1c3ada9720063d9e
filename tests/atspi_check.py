"""Walks the window over AT-SPI as a screen reader does and lists every
focusable control that has no name. usage: atspi_check.py KORVANEXT LANGUAGE..."""
import os
import subprocess
import sys
import time

import pyatspi

# Cells, items and headers are named by their table or list, and spoken with it.
NAMED_BY_CONTAINER = {
    pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_TABLE_COLUMN_HEADER,
    pyatspi.ROLE_TABLE_ROW_HEADER, pyatspi.ROLE_TREE_ITEM, pyatspi.ROLE_COLUMN_HEADER,
    pyatspi.ROLE_ROW_HEADER,
}
PAGES = 7


def find_app(pid, timeout=30):
    end = time.time() + timeout
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            try:
                if app is not None and app.get_process_id() == pid and app.childCount > 0:
                    return app
            except Exception:
                pass
        time.sleep(0.3)
    return None


def walk(node, path, found, tabs):
    try:
        role = node.getRole()
        states = node.getState()
        name = (node.name or "").strip()
    except Exception:
        return
    if not states.contains(pyatspi.STATE_VISIBLE):
        return
    if role == pyatspi.ROLE_PAGE_TAB:
        tabs.append(node)
    if (states.contains(pyatspi.STATE_FOCUSABLE) and role not in NAMED_BY_CONTAINER and not name):
        found.append("%s [%s]" % (path, node.getRoleName()))
    # A table's cells are many and named by their table: its own name is enough.
    if role in (pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_LIST, pyatspi.ROLE_TREE):
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, "%s/%s" % (path, child.getRoleName() + (":" + child.name if child.name else "")), found, tabs)


def check(app, what):
    """Walks the windows, then each tab in turn (pressed as a screen reader
    user would), and returns what is unnamed."""
    found, tabs = [], []
    walk(app, what, found, tabs)
    seen = set()
    for tab in tabs:
        key = (tab.name, tab.getIndexInParent())
        if key in seen:
            continue
        seen.add(key)
        try:
            tab.queryAction().doAction(0)
        except Exception:
            continue
        time.sleep(0.3)
        more = []
        walk(app, "%s (tab %s)" % (what, tab.name), more, [])
        found += more
    return found


def run(binary, args, env):
    proc = subprocess.Popen([binary] + args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        app = find_app(proc.pid)
        if app is None:
            return ["%s: the program did not appear on the accessibility bus" % " ".join(args)]
        time.sleep(1.0)
        return check(app, " ".join(args))
    finally:
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def main():
    binary, languages = sys.argv[1], sys.argv[2:]
    failures = []
    runs = 0
    for language in languages:
        for page in range(PAGES):
            failures += run(binary, ["--language", language, "--page", str(page)], os.environ.copy())
            runs += 1
        env = os.environ.copy()
        env["KORVANEXT_SHOW_EVERY_DIALOG"] = "1"
        failures += run(binary, ["--language", language], env)
        runs += 1
    for f in sorted(set(failures)):
        print("unnamed:", f)
    print("%d starts walked, %d unnamed focusable controls" % (runs, len(set(failures))))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
