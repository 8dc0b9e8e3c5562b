#!/usr/bin/env python3
"""Fails when an include runs against the layers, lowest first:

  platform layer (common/src/pal)  includes only itself
  engine (src/engine)              the platform layer and itself
  host rooms (src/host/ROOM)       <pal/..>, <ds/..>, lower rooms, third_party
  python, bench, fuzz              the host rooms they are allowed
  tools                            anything below them

Nothing under src/ or common/ includes from tools/, the host never includes
the reader's own sources, and a host room includes only the rooms the table
below allows it. Run from anywhere; prints each fault and exits 1.
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Which rooms each host room (and each other face of the host) may include.
# A room may always include itself.
ROOMS = {
    "base": set(),
    "markup": set(),
    "repair": {"base", "markup"},
    "session": {"base", "markup", "repair"},
    "integrity": {"base"},
    "select": {"base", "markup", "session"},
    "output": {"base", "markup", "session"},
    "plot": {"base", "markup", "session", "select", "output"},
    "mzml": {"base", "markup", "session", "select", "output"},
    "cli": {"base", "markup", "session", "integrity", "select", "output", "plot", "repair",
            "mzml"},
}
FACES = {
    "python": {"base", "markup", "repair", "session", "select", "mzml"},
    "bench": {"base", "markup", "repair", "session"},
    "fuzz": {"base", "markup", "repair", "session"},
}

# Benchmarks of the reader's own parsers, which time them as its unit tests
# test them: on their own, through the reader's headers.
READER_BENCHES = {os.path.join("bench", "parse_bench.cpp")}

INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]', re.M)


def sources(folder):
    for base, _, names in os.walk(os.path.join(ROOT, folder)):
        for name in names:
            if name.endswith((".h", ".hpp", ".cpp", ".c")):
                yield os.path.relpath(os.path.join(base, name), ROOT)


def basenames(folder):
    return {os.path.basename(path) for path in sources(folder)}


# The include folders a build of the product has, in the compiler's order
# after the including file's own folder.
SEARCH = ["src", "src/engine/inc", "common/src/pal/inc", "common/src/pal", "third_party"]


def resolves_into_tools(path, name):
    if name.startswith("tools/") or "/tools/" in name:
        return True
    for folder in [os.path.dirname(path)] + SEARCH:
        found = os.path.normpath(os.path.join(ROOT, folder, name))
        if os.path.isfile(found):
            return os.path.relpath(found, ROOT).startswith("tools" + os.sep)
    return False


def main():
    faults = []
    reader_headers = {n for n in basenames("src/engine/ds_mzxml") if n.endswith(".h")}

    def check(path, allowed_rooms, may_include_ds, may_include_reader):
        text = open(os.path.join(ROOT, path), encoding="utf-8", errors="replace").read()
        for name in INCLUDE.findall(text):
            where = f"{path}: #include {name}"
            if name.startswith("host/"):
                room = name.split("/")[1]
                if allowed_rooms is None or room not in allowed_rooms:
                    faults.append(f"{where}: may not include the host room '{room}'")
            elif name.startswith("ds/") and not may_include_ds:
                faults.append(f"{where}: the platform layer stands below the engine")
            elif resolves_into_tools(path, name):
                faults.append(f"{where}: nothing in the product includes from tools/")
            elif os.path.basename(name) in reader_headers and not may_include_reader:
                faults.append(f"{where}: the reader's sources are the plug-in's own")

    for path in sources("common/src"):
        check(path, None, False, False)
    for path in sources("src/engine"):
        check(path, None, True, True)
    for path in sources("src/host"):
        room = path.split(os.sep)[2]
        if room not in ROOMS:
            if os.path.dirname(path) != os.path.join("src", "host", "catalog"):
                faults.append(f"{path}: a folder of src/host that no room names")
            continue
        check(path, ROOMS[room] | {room}, True, False)
    for face, rooms in FACES.items():
        for path in sources(face):
            check(path, rooms, True, path in READER_BENCHES)
    # The build follows the same arrows: nothing in src/ or common/ builds
    # from tools/.
    for folder in ("src", "common"):
        for base, _, names in os.walk(os.path.join(ROOT, folder)):
            if "CMakeLists.txt" in names:
                path = os.path.join(base, "CMakeLists.txt")
                if re.search(r"\btools/", open(path, encoding="utf-8").read()):
                    faults.append(f"{os.path.relpath(path, ROOT)}: builds from tools/")

    for fault in faults:
        print(f"check-layers: {fault}")
    print(f"check-layers: {'%d faults' % len(faults) if faults else 'every include runs downwards'}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
