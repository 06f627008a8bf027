#!/usr/bin/env python3
"""Checks that the modules of a source folder include each other one way only.

A module is a header and its source file (TForm.h with TForm.cpp). An edge runs
from a module to every module of the same folder whose header it includes.
Prints the graph's size and each circle found; exits with 1 when there is one.

Usage: check-includes.py FOLDER [FOLDER ...]
"""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)\.h"', re.M)


def module_graph(folder):
    files = [p for p in folder.iterdir() if p.suffix in (".h", ".cpp")]
    modules = {p.stem for p in files}
    graph = {m: set() for m in modules}
    for path in files:
        for target in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            if target in modules and target != path.stem:
                graph[path.stem].add(target)
    return graph


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


def main(folders):
    failed = False
    for folder in map(pathlib.Path, folders):
        graph = module_graph(folder)
        edges = sum(len(v) for v in graph.values())
        print(f"{folder}: {len(graph)} modules, {edges} includes between them")
        for circle in circles(graph):
            failed = True
            print("  circle: " + " -> ".join(circle))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:] or ["framework"]))
