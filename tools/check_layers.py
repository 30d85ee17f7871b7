#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
"""Checks that the code's dependencies point one way.

  check_layers.py SOURCE_DIR [BUILD_DIR]

1. Folders: a file includes only headers of its own folder or of a folder below it.
2. Files: no circle of includes between files, nor between modules, a module being a
   header with its source files (x.h, x.cpp, x_posix.cpp, x_win32.cpp).
3. With BUILD_DIR: no circle of calls between object files (one file uses a function of
   another that uses one of the first), read from nm, in every layer and both front ends.

Prints each fault and exits 1 when there is one.
"""
import collections
import os
import re
import subprocess
import sys

# Lowest first; a folder may use those before it.
LAYERS = ["base", "recorder", "port", "link", "fix", "capture", "connection", "share", "web", ("panel", "log")]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
PLATFORM_SUFFIX = re.compile(r"_(posix|win32)$")


def module_of(path):
    """folder/x.h, folder/x.cpp and folder/x_posix.cpp are one module: folder/x."""
    return PLATFORM_SUFFIX.sub("", os.path.splitext(path)[0])


def rank_of(folder):
    for rank, layer in enumerate(LAYERS):
        if folder == layer or (isinstance(layer, tuple) and folder in layer):
            return rank
    return None


def folders():
    for layer in LAYERS:
        for folder in layer if isinstance(layer, tuple) else (layer,):
            yield layer, folder


def sources(root):
    for _, folder in folders():
        for name in sorted(os.listdir(os.path.join(root, folder))):
            if name.endswith((".h", ".cpp")):
                yield folder, name


def circles(graph):
    """Strongly connected components of more than one node (Tarjan)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for nxt in graph.get(node, ()):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            component = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                component.append(member)
                if member == node:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    sys.setrecursionlimit(10000)
    for node in list(graph):
        if node not in index:
            visit(node)
    return found


def check_includes(root):
    faults = []
    graph = collections.defaultdict(set)
    modules = collections.defaultdict(set)
    for folder, name in sources(root):
        with open(os.path.join(root, folder, name), encoding="utf-8") as source:
            text = source.read()
        for included in INCLUDE.findall(text):
            if "/" not in included:
                continue
            other = included.split("/")[0]
            other_rank = rank_of(other)
            if other_rank is None:
                continue
            if other_rank > rank_of(folder) or (other != folder and other_rank == rank_of(folder)):
                faults.append(f"{folder}/{name} includes {included}: a layer above or beside it")
            graph[f"{folder}/{name}"].add(included)
            if module_of(included) != module_of(f"{folder}/{name}"):
                modules[module_of(f"{folder}/{name}")].add(module_of(included))
    for component in circles(graph):
        faults.append("include circle: " + " <-> ".join(component))
    for component in circles(modules):
        faults.append("module circle (a header with its sources): " + " <-> ".join(component))
    return faults


def symbols(path, *flags):
    out = subprocess.run(["nm", "--format=posix", *flags, path], capture_output=True, text=True,
                         check=True).stdout
    return {line.split()[0] for line in out.splitlines() if line.strip()}


def check_calls(root, build):
    objects = []
    for _, folder in folders():
        for top, _, names in os.walk(os.path.join(build, folder, "CMakeFiles")):
            # Only objects whose source is still there: a moved file leaves its old one.
            objects += [os.path.join(top, n) for n in names
                        if re.search(r"\.cpp\.o(bj)?$", n)
                        and os.path.exists(os.path.join(root, folder, re.sub(r"\.o(bj)?$", "", n)))]
    defined = {}
    for path in objects:
        for symbol in symbols(path, "--defined-only", "--extern-only"):
            defined.setdefault(symbol, path)
    graph = collections.defaultdict(set)
    for path in objects:
        for symbol in symbols(path, "--undefined-only"):
            owner = defined.get(symbol)
            if owner is not None and owner != path and not symbol.startswith("_ZTV"):
                graph[path].add(owner)
    short = lambda p: os.path.relpath(p, build).replace("CMakeFiles/", "")
    print(f"{len(objects)} object files, {sum(len(v) for v in graph.values())} uses between them")
    return ["call circle: " + " <-> ".join(short(p) for p in component)
            for component in circles(graph)]


def main():
    root = sys.argv[1]
    faults = check_includes(root)
    if len(sys.argv) > 2:
        faults += check_calls(root, sys.argv[2])
    for fault in faults:
        print(fault)
    if not faults:
        print("dependencies point one way: folders, includes" +
              (" and calls" if len(sys.argv) > 2 else ""))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
