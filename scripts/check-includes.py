#!/usr/bin/env python3
"""Checks that the program's folders include each other one way only.

Folders are given from the bottom layer to the top: a file may include headers
of its own folder and of the folders named before it, never of a later one.
Inside a folder, a module (a header and its source file) is an edge to every
module of the same folder whose header it includes; those edges must make no
circle. Every include of a header of ours must name its folder
("controls/TForm.h", "settings/IniStore.h"). Exits with 1 on any fault.

Usage: check-includes.py ROOT FOLDER [FOLDER ...]
"""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+\.h)"', re.M)


def headers_of(root, folders):
    """Maps each header's include path to the folder that holds it."""
    owner = {}
    for folder in folders:
        for header in (root / folder).glob("*.h"):
            rel = header.relative_to(root).as_posix()
            owner[rel.removeprefix("framework/")] = folder
    return owner


def sources_of(root, folder):
    return sorted(p for p in (root / folder).iterdir() if p.suffix in (".h", ".cpp"))


def circles(graph):
    found, state, stack = [], {}, []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for nxt in sorted(graph[node]):
            if state.get(nxt) == "open":
                found.append(stack[stack.index(nxt):] + [nxt])
            elif nxt not in state:
                visit(nxt)
        stack.pop()
        state[node] = "done"

    for node in sorted(graph):
        if node not in state:
            visit(node)
    return found


def check_folder(root, folder, rank, owner, basenames):
    faults = []
    graph = {p.stem: set() for p in sources_of(root, folder)}
    for path in sources_of(root, folder):
        for target in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            where = owner.get(target)
            if where is None:
                if pathlib.PurePosixPath(target).name in basenames:
                    faults.append(f"{path.relative_to(root)}: \"{target}\" does not name its folder")
                continue
            if rank[where] > rank[folder]:
                faults.append(f"{path.relative_to(root)}: includes {target} of {where}, a layer above")
            elif where == folder and pathlib.PurePosixPath(target).stem != path.stem:
                graph[path.stem].add(pathlib.PurePosixPath(target).stem)
    edges = sum(len(v) for v in graph.values())
    print(f"{folder}: {len(graph)} modules, {edges} includes between them")
    faults += ["circle: " + " -> ".join(c) for c in circles(graph)]
    return faults


def main(root, folders):
    root = pathlib.Path(root)
    rank = {folder: i for i, folder in enumerate(folders)}
    owner = headers_of(root, folders)
    basenames = {pathlib.PurePosixPath(h).name for h in owner}
    faults = []
    for folder in folders:
        faults += check_folder(root, folder, rank, owner, basenames)
    for fault in faults:
        print("  " + fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2:]))
