#!/usr/bin/env python3
"""Writes a zip archive whose bytes depend on its contents alone.

    make_zip.py ARCHIVE NAME=PATH [NAME=PATH ...]

Entries go in the order given, each with the same fixed time and permissions
and no extra fields, so two runs over the same files give the same archive.
A NAME ending in .txt is a text for Windows users: it is stored as UTF-8 with
a byte-order mark (which Notepad on XP needs to tell UTF-8) and CRLF lines.
"""
import sys
import zipfile

FIXED_TIME = (1980, 1, 1, 0, 0, 0)  # the earliest time a zip entry can hold


def entry_bytes(name, path):
    with open(path, "rb") as f:
        data = f.read()
    if name.lower().endswith(".txt"):
        text = data.decode("utf-8").lstrip("\ufeff").replace("\r\n", "\n")
        data = b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode("utf-8")
    return data


def main(argv):
    if len(argv) < 3:
        sys.exit("usage: make_zip.py ARCHIVE NAME=PATH [NAME=PATH ...]")
    archive = argv[1]
    entries = []
    for arg in argv[2:]:
        name, sep, path = arg.partition("=")
        if not sep or not name or not path:
            sys.exit(f"make_zip.py: '{arg}' is not NAME=PATH")
        entries.append((name, path))
    with zipfile.ZipFile(archive, "w") as z:
        for name, path in entries:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS attributes, as Windows writes them
            info.external_attr = 0x20  # "archive", nothing else
            z.writestr(info, entry_bytes(name, path), compresslevel=9)


if __name__ == "__main__":
    main(sys.argv)
