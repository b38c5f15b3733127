#!/usr/bin/env python3
"""Checks the layering of the client's folders over their #include lines.

Each folder has a level; a file may include headers of its own folder, of
lower levels, and of other folders of its own level as long as no two
folders end up including each other (directly or round a longer cycle).
An include that goes up a level, or a cycle between folders, fails the
check with the lines that cause it. tests/ and bench/ sit above everything
and are not checked.
"""
import os
import re
import sys

LEVELS = {
    "res": 0,       # resource ids: data only
    "base": 0,      # text helpers, data directory, clock, guarded blocks, file calls
    "diag": 1,      # activity and internal logs
    "config": 1,    # velmor.cfg, settings, identity (may log through diag/)
    "net": 2,       # the transport
    "content": 3,   # features
    "schedule": 3,
    "interact": 3,
    "ui": 4,        # dialogs
    "app": 5,       # start-up, main window, status windows
    "server": 5,    # the reference server (shares the record codec)
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    root = os.path.abspath(root)
    errors = []
    edges = {}  # (from, to) -> first "file:line"
    for folder in sorted(LEVELS):
        top = os.path.join(root, folder)
        for dirpath, _, files in os.walk(top):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp", ".rc")):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m or "/" not in m.group(1):
                            continue
                        target = m.group(1).split("/", 1)[0]
                        where = f"{rel}:{number}: {m.group(1)}"
                        if target not in LEVELS:
                            errors.append(f"{where}: includes {target}/, which no product folder may")
                            continue
                        if target == folder:
                            continue
                        if LEVELS[target] > LEVELS[folder]:
                            errors.append(f"{where}: {folder}/ includes upward into {target}/")
                        edges.setdefault((folder, target), where)
    # Cycles between folders (of one level; upward ones are reported above).
    graph = {}
    for a, b in edges:
        graph.setdefault(a, set()).add(b)

    def reaches(start, goal, seen):
        for n in graph.get(start, ()):
            if n == goal:
                return True
            if n not in seen:
                seen.add(n)
                if reaches(n, goal, seen):
                    return True
        return False

    for (a, b), where in sorted(edges.items()):
        if reaches(b, a, set()):
            errors.append(f"{where}: {a}/ -> {b}/ is part of a cycle between folders")
    for e in errors:
        print("check-layers: " + e, file=sys.stderr)
    if errors:
        return 1
    print(f"check-layers: {len(edges)} folder dependencies, no upward include, no cycle")
    return 0


if __name__ == "__main__":
    sys.exit(main())
