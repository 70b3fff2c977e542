#!/usr/bin/env python3
"""Checks the #include lines of src/ against the layer table in docs/layers.md.

Fails (status 1, one line per fault) when a file includes a header of a layer
it may not use, or when a file outside a backend folder (posix/, win32/)
includes an operating-system header, or when a file other than a program's
main file leaves the project namespace out. With --table it prints how many includes
go from each folder to each other folder instead.
"""

import argparse
import pathlib
import re
import sys
from collections import Counter

BACKEND_FOLDERS = ("posix", "win32")
OS_HEADER = re.compile(
    r"^(termios|poll|unistd|signal|csignal|fcntl|dirent|strings|pwd|grp|pty|"
    r"windows|winbase|io|direct|sys/.*)\.h$|^csignal$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc"}
PROJECT_NAMESPACE = "namespace pellux {"
PROGRAM_MAIN = re.compile(r"^int main\(", re.MULTILINE)


def read_table(path):
    layers = {}
    for line in path.read_text(encoding="utf-8").splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) != 3 or cells[0] in ("layer", "") or set(cells[0]) <= {"-"}:
            continue
        name, folders, uses = cells
        layers[name] = {
            "folders": [f.strip() for f in folders.split(",") if f.strip()],
            "uses": {u.strip() for u in uses.split(",") if u.strip()},
        }
    return layers


def folder_of(relative, layers):
    """The table folder (longest match) that holds a path relative to the root."""
    best = None
    for layer in layers.values():
        for folder in layer["folders"]:
            if relative == folder or relative.startswith(folder + "/"):
                if best is None or len(folder) > len(best):
                    best = folder
    return best


def layer_of_folder(folder, layers):
    for name, layer in layers.items():
        if folder in layer["folders"]:
            return name
    return None


def is_backend(relative):
    return any(part in BACKEND_FOLDERS for part in pathlib.PurePosixPath(relative).parts[:-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root", nargs="?", default=pathlib.Path(__file__).resolve().parent.parent)
    parser.add_argument("--table", action="store_true", help="print the folder dependency table")
    args = parser.parse_args()
    root = pathlib.Path(args.root)
    table_path = root / "docs" / "layers.md"
    layers = read_table(table_path)
    if not layers:
        print(f"{table_path}: no layer table found; restore the table and run again")
        return 1

    faults = []
    counts = Counter()
    for path in sorted((root / "src").rglob("*")):
        if path.suffix not in SOURCE_SUFFIXES or not path.is_file():
            continue
        relative = path.relative_to(root).as_posix()
        source_folder = folder_of(relative, layers)
        if source_folder is None:
            faults.append(f"{relative}: in no layer of docs/layers.md; add its folder to the table")
            continue
        source_layer = layer_of_folder(source_folder, layers)
        text = path.read_text(encoding="utf-8")
        if PROJECT_NAMESPACE not in text and not PROGRAM_MAIN.search(text):
            faults.append(f"{relative}: declares nothing in the project namespace; wrap its "
                          f"code in {PROJECT_NAMESPACE} ... }}")
        for number, line in enumerate(text.splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            kind, name = match.groups()
            if kind == "<":
                if OS_HEADER.match(name) and not is_backend(relative):
                    faults.append(f"{relative}:{number}: includes <{name}> outside a backend "
                                  f"folder; move the call into a posix/ backend file")
                continue
            target = "src/" + name
            if not (root / target).is_file():
                continue  # generated or local headers (ui_*.h)
            target_folder = folder_of(target, layers)
            target_layer = layer_of_folder(target_folder, layers) if target_folder else None
            if target_folder and target_folder != source_folder:
                counts[(source_folder, target_folder)] += 1
            if target_layer is None or target_layer == source_layer:
                continue
            if target_layer not in layers[source_layer]["uses"]:
                faults.append(f"{relative}:{number}: includes {name}: layer {source_layer} may "
                              f"not use {target_layer} (docs/layers.md)")

    if args.table:
        by_source = {}
        for (source, target), count in sorted(counts.items()):
            by_source.setdefault(source, []).append(f"{target.removeprefix('src/')} {count}")
        print("| from | includes from |\n|---|---|")
        for source, targets in by_source.items():
            print(f"| {source.removeprefix('src/')} | {', '.join(targets)} |")

    for fault in faults:
        print(fault)
    if faults:
        print(f"layer check failed: {len(faults)} fault(s)")
        return 1
    if not args.table:
        print(f"layer check passed: {len(layers)} layers")
    return 0


if __name__ == "__main__":
    sys.exit(main())
