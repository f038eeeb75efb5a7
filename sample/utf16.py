#!/usr/bin/env python3
"""Copies a UTF-8 text file as UTF-16 (little-endian, with its byte order mark) and CR LF lines.

Usage: utf16.py SOURCE TARGET

Windows reads a settings file in UTF-16 with its mark as Unicode, whatever the system's code page:
so the CD's autorun.inf keeps its Russian label on every system.
"""

import sys


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: utf16.py SOURCE TARGET")
    with open(sys.argv[1], encoding="utf-8") as f:
        text = f.read().replace("\r\n", "\n").replace("\n", "\r\n")
    with open(sys.argv[2], "wb") as f:
        f.write(("\ufeff" + text).encode("utf-16-le"))


if __name__ == "__main__":
    main()
