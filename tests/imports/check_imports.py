#!/usr/bin/python3
"""Fails when an executable imports a DLL or a function that the launcher's minimum Windows
(64-bit Windows Vista SP2) does not provide, as far as the list in this folder knows:

    check_imports.py EXE [LIST]

A function newer than the minimum must not be imported: look it up at run time, with a fallback.
A DLL that is not one of the system's known DLLs must not be imported either: Windows would look
for it beside the executable first. Each entry of the list says where its fact comes from."""

import sys
from pathlib import Path

import pefile

DEFAULT_LIST = Path(__file__).with_name("vista_x64_imports.txt")


def allowed(list_path: Path) -> dict:
    """{DLL in lower case: {function, ...}} from lines "DLL FUNCTION  # source"."""
    table: dict = {}
    for number, line in enumerate(list_path.read_text("utf-8").splitlines(), 1):
        entry, _, source = line.partition("#")
        if not entry.strip():
            continue
        fields = entry.split()
        if len(fields) != 2 or not source.strip():
            raise SystemExit(f"{list_path}:{number}: want 'DLL FUNCTION  # source'")
        table.setdefault(fields[0].lower(), set()).add(fields[1])
    return table


def imports(exe: Path) -> list:
    """[(DLL, function or #ordinal), ...], load-time and delay-load imports alike."""
    pe = pefile.PE(str(exe))
    found = []
    for attribute in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for dll in getattr(pe, attribute, []):
            for symbol in dll.imports:
                name = symbol.name.decode() if symbol.name else f"#{symbol.ordinal}"
                found.append((dll.dll.decode(), name))
    return found


def main() -> int:
    if len(sys.argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        return 2
    exe = Path(sys.argv[1])
    table = allowed(Path(sys.argv[2]) if len(sys.argv) == 3 else DEFAULT_LIST)
    found = imports(exe)
    unknown = [(dll, name) for dll, name in found if name not in table.get(dll.lower(), ())]
    for dll, name in unknown:
        print(f"{exe.name}: imports {dll} {name}, which is not on the list of what the "
              "minimum Windows provides", file=sys.stderr)
    dlls = sorted({dll for dll, _ in found}, key=str.lower)
    print(f"{exe.name}: {len(found)} imports from {', '.join(dlls)}")
    return 1 if unknown else 0


if __name__ == "__main__":
    sys.exit(main())
