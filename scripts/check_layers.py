#!/usr/bin/env python3
"""Checks the include structure of the repository.

A module is a header and its source with the same name: include/ravelin/dat/lib.h
and dat/lib.cpp are the module dat/lib; a private header such as dat/lib_frames.h
is a module of its own. The libraries are layered common < dat < event_bake < capi;
the C interface's header include/ravelin/ravelin.h is the module capi/ravelin.

Fails (exit 1, one line per finding) when
- a module of the libraries includes a module of a higher layer;
- the modules of the libraries include each other in a cycle;
- a public header (include/ravelin/) includes a private one;
- a file outside the libraries includes a private header of a library.
Test sources of a library (*_test.cpp) may include its private headers.
"""
import pathlib
import re
import sys

LAYERS = ["common", "dat", "event_bake", "capi"]
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^">]+)[">]', re.M)
SOURCES = (".h", ".cpp")


def public_module(header: pathlib.PurePath) -> str:
    """The module of a public header given relative to include/ravelin."""
    module = header.with_suffix("").as_posix()
    return module if "/" in module else f"capi/{module}"


def main(root: pathlib.Path) -> int:
    public = {public_module(p.relative_to(root / "include/ravelin")) for p in (root / "include/ravelin").rglob("*.h")}
    private = {p.relative_to(root).with_suffix("").as_posix()
               for layer in LAYERS for p in (root / layer).rglob("*.h")}
    problems = []
    if overlap := public & private:
        problems.append(f"modules with both a public and a private header: {sorted(overlap)}")

    def module_of_include(name: str):
        """(module, is_private) for an include of a library header, else None."""
        if name.startswith("ravelin/") and name.endswith(".h"):
            module = public_module(pathlib.PurePath(name[len("ravelin/"):]))
            return (module, False) if module in public else None
        if name.endswith(".h") and name[:-2] in private:
            return name[:-2], True
        return None

    graph = {}
    for path in sorted(root.rglob("*")):
        if path.suffix not in SOURCES or not path.is_file():
            continue
        rel = path.relative_to(root)
        top = rel.parts[0]
        if top.startswith(".") or top.startswith("build") or top == "bindings":
            continue
        text = path.read_text(errors="replace")
        includes = [m for name in INCLUDE.findall(text) if (m := module_of_include(name))]
        is_test = rel.name.endswith("_test.cpp") or rel.name.endswith("_test_support.h")
        if top == "include":
            module = public_module(rel.relative_to("include/ravelin"))
            if module == "capi/ravelin" and includes:
                # The C interface stands on its own: plain C, no C++ header.
                problems.append(f"{rel}: the C interface includes {sorted(t for t, _ in includes)}")
            for target, is_private in includes:
                if is_private:
                    problems.append(f"{rel}: public header includes private {target}.h")
        elif top in LAYERS and not is_test:
            module = rel.with_suffix("").as_posix()
        else:
            if is_test and top in LAYERS:
                continue
            for target, is_private in includes:
                if is_private:
                    problems.append(f"{rel}: includes {target}.h, private to the libraries")
            continue
        edges = graph.setdefault(module, set())
        for target, _ in includes:
            if target != module:
                edges.add(target)

    for module, targets in graph.items():
        layer = LAYERS.index(module.split("/")[0])
        for target in targets:
            if LAYERS.index(target.split("/")[0]) > layer:
                problems.append(f"{module} includes {target}, a higher layer")

    # Depth-first search for a cycle.
    state = {}

    def visit(module, stack):
        state[module] = "open"
        stack.append(module)
        for target in sorted(graph.get(module, ())):
            if state.get(target) == "open":
                cycle = stack[stack.index(target):] + [target]
                problems.append("module cycle: " + " -> ".join(cycle))
            elif target not in state:
                visit(target, stack)
        stack.pop()
        state[module] = "done"

    for module in sorted(graph):
        if module not in state:
            visit(module, [])

    for problem in problems:
        print(problem)
    if not problems:
        print(f"layers: {len(graph)} modules, no upward include, no cycle, no private header reached from outside")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()))
