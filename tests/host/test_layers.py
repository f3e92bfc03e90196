"""The program's include graph. A module is a file pair (app/WMain.h and app/WMain.cpp); an edge
is an #include of another module's header. Fails on a cycle between modules and on an include
that points up a layer: common -> ras, controls -> windows -> app, each folder using only the
folders below it. Arguments: build directory, source directory; --print shows the graph."""
import os
import re
import sys
import tempfile
import unittest

LAYERS = {"common": 0, "ras": 1, "controls": 1, "windows": 2, "app": 3}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)

# Modules that must not include the ones named (a folder ends in "/"): the connection controller
# reaches the main window only through its port, and includes no window.
FORBIDDEN = {"app/NConnection": ("windows/", "app/WMain", "app/WStatus")}


def modules(root):
    """Module name (folder/stem) -> the files of the pair, for every program source."""
    found = {}
    for folder in LAYERS:
        path = os.path.join(root, folder)
        for name in sorted(os.listdir(path)) if os.path.isdir(path) else []:
            stem, ext = os.path.splitext(name)
            if ext in (".h", ".cpp"):
                found.setdefault(folder + "/" + stem, []).append(os.path.join(path, name))
    return found


def graph(root):
    """Module -> the set of other modules it includes."""
    found = modules(root)
    edges = {}
    for module, files in found.items():
        folder = module.split("/")[0]
        targets = set()
        for file in files:
            with open(file, encoding="latin-1") as f:
                for include in INCLUDE.findall(f.read()):
                    stem = os.path.splitext(include)[0]
                    for candidate in (stem, folder + "/" + stem):
                        if candidate in found and candidate != module:
                            targets.add(candidate)
                            break
        edges[module] = targets
    return edges


def upward(edges):
    """Edges into another folder that is not below the including one."""
    bad = []
    for source, targets in edges.items():
        a = source.split("/")[0]
        for target in targets:
            b = target.split("/")[0]
            if a != b and LAYERS[b] >= LAYERS[a]:
                bad.append(source + " -> " + target)
    return sorted(bad)


def forbidden(edges):
    """Includes that FORBIDDEN rules out."""
    return sorted(source + " -> " + target for source, banned in FORBIDDEN.items()
                  for target in edges.get(source, ()) if target.startswith(banned))


def cycles(edges):
    """Strongly connected groups of more than one module (Tarjan)."""
    index, low, stack, on, groups = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on.add(node)
        for nxt in sorted(edges.get(node, ())):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            group = []
            while True:
                top = stack.pop()
                on.discard(top)
                group.append(top)
                if top == node:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for node in sorted(edges):
        if node not in index:
            visit(node)
    return sorted(groups)


def write(root, files):
    for name, text in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)


class Layers(unittest.TestCase):
    def test_no_cycle_upward_include_or_window_in_the_controller(self):
        edges = graph(SOURCE)
        self.assertEqual([], cycles(edges))
        self.assertEqual([], upward(edges))
        self.assertEqual([], forbidden(edges))

    def test_the_checks_see_a_cycle_and_an_upward_include(self):
        with tempfile.TemporaryDirectory() as root:
            write(root, {
                "common/NA.h": "#pragma once\n",
                "common/NA.cpp": '#include "common/NA.h"\n#include "windows/WB.h"\n',
                "windows/WB.h": '#pragma once\n#include "common/NA.h"\n',
                "app/C.cpp": '#include "app/D.h"\n', "app/D.cpp": '#include "C.h"\n',
                "app/C.h": "", "app/D.h": "",
                "app/NConnection.cpp": '#include "windows/WB.h"\n#include "app/C.h"\n',
            })
            edges = graph(root)
            self.assertEqual(["common/NA -> windows/WB"], upward(edges))
            self.assertEqual([["app/C", "app/D"], ["common/NA", "windows/WB"]], cycles(edges))
            self.assertEqual(["app/NConnection -> windows/WB"], forbidden(edges))


if __name__ == "__main__":
    if "--print" in sys.argv:
        SOURCE = sys.argv[-1] if len(sys.argv) > 2 else "."
        edges = graph(SOURCE)
        for module in sorted(edges):
            print(module, "->", " ".join(sorted(edges[module])) or "-")
        print(len(edges), "modules,", sum(len(t) for t in edges.values()), "edges")
        print("cycles:", cycles(edges))
        print("upward:", upward(edges))
        print("forbidden:", forbidden(edges))
        sys.exit(0)
    BUILD, SOURCE = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1])
