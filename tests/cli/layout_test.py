#!/usr/bin/env python3
"""The folders of cli/ include one another one way only: the graph of
'#include "X"' between folders (X owned by the folder that holds a file of
that name) has no cycle. A cycle is printed as FOLDER -> ... -> FOLDER.

  layout_test.py CLI_DIR
"""
import os
import re
import sys

root = sys.argv[1]
folders = sorted(d for d in os.listdir(root) if os.path.isdir(os.path.join(root, d)))
owner = {f: d for d in folders for f in os.listdir(os.path.join(root, d))}
edges = {d: set() for d in folders}
for d in folders:
    for f in os.listdir(os.path.join(root, d)):
        with open(os.path.join(root, d, f), encoding="utf-8") as text:
            for name in re.findall(r'#include "([^"]+)"', text.read()):
                if owner.get(name, d) != d:
                    edges[d].add(owner[name])


def cycle_from(start):
    stack = [(start, [start])]
    while stack:
        node, path = stack.pop()
        for nxt in sorted(edges[node]):
            if nxt == start:
                return path + [start]
            if nxt not in path:
                stack.append((nxt, path + [nxt]))
    return None


cycles = [c for c in map(cycle_from, folders) if c]
for c in cycles:
    print("cycle:", " -> ".join(c))
sys.exit(1 if cycles else 0)
