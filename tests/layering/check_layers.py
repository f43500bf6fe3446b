#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own.

The folders are layers, lowest first; each may include only its own folder and
those below it. The Qt-free layers may not include anything of Qt either.
Prints one line per fault (file:line: what is wrong) and exits 1 when there is
any. Usage: check_layers.py [repository root]
"""
import pathlib
import re
import sys

ORDER = ["base", "settings", "imaging", "gif", "picture", "scene", "platform", "display",
         "dialogs", "app", "tools", "bench", "tests"]
QT_FREE = {"base", "settings", "imaging", "gif", "scene"}
# picture/ is Qt-free but for its qt/ folder, which holds the platform codecs.
QT_ALLOWED_SUBFOLDERS = {("picture", "qt")}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^Q[A-Za-z]*(/|$)|^q[a-z_]+\.h$")


def layer_of(path):
    return path.parts[0] if path.parts and path.parts[0] in ORDER else None


def faults(root):
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".cpp", ".h") or not path.is_file():
            continue
        relative = path.relative_to(root)
        if relative.parts[0].startswith("build"):
            continue
        own = layer_of(relative)
        if own is None:
            continue
        qt_free = own in QT_FREE or (own == "picture" and relative.parts[:2] not in QT_ALLOWED_SUBFOLDERS)
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            quote, header = match.groups()
            if quote == '"':
                target = layer_of(pathlib.PurePath(header))
                if target and ORDER.index(target) > ORDER.index(own):
                    yield f"{relative}:{number}: {own}/ includes {header}, of the higher layer {target}/"
            elif qt_free and QT_HEADER.match(header):
                yield f"{relative}:{number}: {own}/ must stay free of Qt but includes <{header}>"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    found = list(faults(root))
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
