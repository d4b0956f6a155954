#!/usr/bin/env python3
"""Checks what the program needs from Windows against what each Windows
version's system libraries export (the lists in ../shared/windows-exports,
one "library export" a line, "#N" for an export by ordinal alone).

    import_audit.py static PROGRAM [--release]
        Every static import of PROGRAM (a PE file, or a zip holding
        Snipora.exe) exists on every listed system. --release: the file also
        carries no debug information, no symbol table and no link time.
    import_audit.py bound RECORD SYSTEM [SYSTEM ...] [--from-64-bit-build]
        Every function a session bound late (RECORD, written by the program
        under SNIPORA_BIND_LOG) exists on each SYSTEM (xp-sp3, vista, win7,
        win10). The 64-bit test build binds the pointer-sized window-long
        functions where the 32-bit program binds the 32-bit ones.

--exports DIR names the lists' folder; by default ../shared/windows-exports
beside the source tree. Each missing function is printed as
library!export with the system that lacks it; the exit status is then 1.
"""
import argparse
import io
import os
import re
import struct
import sys
import zipfile

SYSTEMS = {
    "xp-sp3": "Windows XP SP3",
    "vista": "Windows Vista",
    "win7": "Windows 7",
    "win10": "Windows 10",
}
DEFAULT_EXPORTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "shared",
                               "windows-exports")


class AuditError(Exception):
    pass


def library_key(name):
    """kernel32, Kernel32.dll and KERNEL32.DLL are one library."""
    name = name.strip().lower()
    return name if "." in name else name + ".dll"


def load_exports(folder, system):
    path = os.path.join(folder, system + ".txt")
    if not os.path.isfile(path):
        raise AuditError(f"the export list {path} is missing: the audit needs the folder windows-exports "
                         f"with {', '.join(s + '.txt' for s in SYSTEMS)} (pass --exports DIR)")
    exports = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split()
            if len(parts) != 2:
                raise AuditError(f"{path}:{number}: not 'library export': {line!r}")
            exports.setdefault(library_key(parts[0]), set()).add(parts[1])
    if not exports:
        raise AuditError(f"{path} lists no exports")
    return exports


# --- the PE file -------------------------------------------------------------

class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise AuditError("not a Windows program (no MZ header)")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise AuditError("not a Windows program (no PE header)")
        coff = pe + 4
        (self.machine, sections, self.timestamp, self.symbol_table, self.symbol_count, optional_size,
         _) = struct.unpack_from("<HHIIIHH", data, coff)
        optional = coff + 20
        magic = self.u16(optional)
        if magic == 0x10B:
            self.pointer_size, directories = 4, optional + 96
        elif magic == 0x20B:
            self.pointer_size, directories = 8, optional + 112
        else:
            raise AuditError(f"unknown optional header 0x{magic:x}")
        self.directory_count = self.u32(directories - 4)
        self.directories = directories
        self.sections = []
        table = optional + optional_size
        strings = self.symbol_table + 18 * self.symbol_count
        for i in range(sections):
            at = table + 40 * i
            raw_name = data[at:at + 8].rstrip(b"\0").decode("ascii", "replace")
            if raw_name.startswith("/") and self.symbol_table:  # a long name in the string table
                offset = strings + int(raw_name[1:])
                raw_name = data[offset:data.index(b"\0", offset)].decode("ascii", "replace")
            virtual_size, address, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
            self.sections.append((raw_name, address, max(virtual_size, raw_size), raw_at, raw_size))

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def directory(self, index):
        if index >= self.directory_count:
            return 0, 0
        return struct.unpack_from("<II", self.data, self.directories + 8 * index)

    def offset(self, rva):
        for _, address, size, raw_at, raw_size in self.sections:
            if address <= rva < address + size:
                if rva - address >= raw_size:
                    raise AuditError(f"RVA 0x{rva:x} lies in uninitialised data")
                return raw_at + rva - address
        raise AuditError(f"RVA 0x{rva:x} lies in no section")

    def text(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def thunk_names(self, rva):
        """The names (or "#ordinal") a thunk array imports."""
        names = []
        ordinal_flag = 1 << (8 * self.pointer_size - 1)
        fmt = "<I" if self.pointer_size == 4 else "<Q"
        at = self.offset(rva)
        while True:
            (value,) = struct.unpack_from(fmt, self.data, at)
            if value == 0:
                return names
            names.append(f"#{value & 0xFFFF}" if value & ordinal_flag else self.text((value & 0x7FFFFFFF) + 2))
            at += self.pointer_size

    def imports(self):
        """[(library, export)] of the import table and the delay-load table."""
        found = []
        rva, size = self.directory(1)
        if rva:
            at = self.offset(rva)
            while True:
                lookup, _, _, name, address = struct.unpack_from("<IIIII", self.data, at)
                if name == 0:
                    break
                library = self.text(name)
                found += [(library, f) for f in self.thunk_names(lookup or address)]
                at += 20
        rva, size = self.directory(13)
        if rva:
            at = self.offset(rva)
            while True:
                _, name, _, _, lookup = struct.unpack_from("<IIIII", self.data, at)[:5]
                if name == 0:
                    break
                library = self.text(name)
                found += [(library, f) for f in self.thunk_names(lookup)]
                at += 32
        return found


def read_program(path):
    if zipfile.is_zipfile(path):
        with zipfile.ZipFile(path) as z:
            if "Snipora.exe" not in z.namelist():
                raise AuditError(f"{path} holds no Snipora.exe")
            return z.read("Snipora.exe")
    with open(path, "rb") as f:
        return f.read()


# --- the checks --------------------------------------------------------------

def missing(needed, folder, systems):
    """Lines naming each needed (library, export) that a system lacks."""
    problems = []
    for system in systems:
        exports = load_exports(folder, system)
        for library, name in needed:
            key = library_key(library)
            if key not in exports:
                problems.append(f"{SYSTEMS[system]} lacks {key}!{name} ({system}.txt has no {key} at all)")
            elif name not in exports[key]:
                problems.append(f"{SYSTEMS[system]} lacks {key}!{name}")
    return problems


def per_library(needed):
    counts = {}
    for library, _ in needed:
        counts[library_key(library)] = counts.get(library_key(library), 0) + 1
    return ", ".join(f"{library} {count}" for library, count in sorted(counts.items()))


def audit_static(args):
    pe = PeFile(read_program(args.program))
    problems = []
    if args.release:
        debug = sorted({name for name, *_ in pe.sections if name.startswith((".debug", ".zdebug"))})
        if debug:
            problems.append(f"the release program carries debug sections: {' '.join(debug)}")
        if pe.symbol_count:  # a long section name's string table may stay
            problems.append("the release program carries a symbol table")
        if pe.timestamp:
            problems.append(f"the release program's header carries a link time (0x{pe.timestamp:08x})")
    imports = sorted(set(pe.imports()), key=lambda e: (library_key(e[0]), e[1]))
    if not imports:
        problems.append("the program imports nothing: the import table was not read")
    print(f"{len(imports)} static imports from {len({library_key(l) for l, _ in imports})} libraries: "
          f"{per_library(imports)}")
    problems += missing(imports, args.exports, list(SYSTEMS))
    return problems


POINTER_SIZED = re.compile(r"^(Get|Set)(Window|Class)LongPtr([AW])$")


def audit_bound(args):
    if not os.path.isfile(args.record):
        raise AuditError(f"no record of bound functions at {args.record}: the session did not run or bound nothing")
    needed = set()
    with open(args.record, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            parts = line.split()
            if not parts:
                continue
            if len(parts) != 2:
                raise AuditError(f"{args.record}:{number}: not 'library export': {line.rstrip()!r}")
            library, name = parts
            if args.from_64_bit_build:
                name = POINTER_SIZED.sub(r"\1\2Long\3", name)
            needed.add((library_key(library), name))
    if not needed:
        raise AuditError(f"{args.record} is empty: the session bound nothing")
    needed = sorted(needed)
    print(f"{len(needed)} functions bound late: {per_library(needed)}")
    for library in sorted({l for l, _ in needed}):
        print(f"  {library}: {' '.join(n for l, n in needed if l == library)}")
    return missing(needed, args.exports, args.systems)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exports", default=DEFAULT_EXPORTS, help="the folder of the export lists")
    sub = parser.add_subparsers(dest="command", required=True)
    static = sub.add_parser("static")
    static.add_argument("program")
    static.add_argument("--release", action="store_true")
    bound = sub.add_parser("bound")
    bound.add_argument("record")
    bound.add_argument("systems", nargs="+", choices=sorted(SYSTEMS))
    bound.add_argument("--from-64-bit-build", action="store_true")
    args = parser.parse_args()
    try:
        problems = audit_static(args) if args.command == "static" else audit_bound(args)
    except (AuditError, OSError, struct.error, ValueError) as e:
        print(f"import_audit: {e}", file=sys.stderr)
        return 1
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"import_audit: {len(problems)} problem(s)", file=sys.stderr)
        return 1
    print("every function is there on " + ", ".join(SYSTEMS[s] for s in
                                                      (SYSTEMS if args.command == "static" else args.systems)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
