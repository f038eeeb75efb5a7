#!/usr/bin/env python3
"""Runs a mingw-w64 link line with LLVM's linker in place of GNU ld.

Usage: lld_link.py LLD COMPILER ARGS...   (CMake's linker launcher: the rest is the link command)

GNU ld keeps every unwind table section of a Windows object, and each one holds on to its
function, so removing unused sections frees almost nothing: whole runtime objects stay even when
one function of them is called. LLVM's linker ties each table to its function and drops both.
The compiler driver still decides everything else (start-up objects, runtime libraries and their
order): it is asked for its linker command line, which is then run with LLD.
"""

import shlex
import subprocess
import sys


def expand_response_files(args):
    """Inlines @FILE arguments: the driver would move them into a temporary file of its own,
    gone by the time its command line is printed."""
    out = []
    for arg in args:
        if arg.startswith("@"):
            with open(arg[1:], encoding="utf-8") as f:
                out += shlex.split(f.read())
        else:
            out.append(arg)
    return out


def driver_link_line(compiler, args):
    """The linker command the driver would run, from its dry run (-###)."""
    dry = subprocess.run([compiler, *args, "-###"], capture_output=True, text=True)
    if dry.returncode != 0:
        sys.stderr.write(dry.stderr)
        sys.exit(dry.returncode)
    for line in dry.stderr.splitlines():
        words = shlex.split(line) if line.startswith(" ") else []
        if words and words[0].endswith(("collect2", "ld")):
            return words[1:]
    sys.exit(f"lld_link.py: no link step in the output of {compiler} -###")


def without_plugin(words):
    """Drops the LTO plugin options, which are for GNU ld only (nothing here is built for LTO)."""
    out = []
    skip = False
    for word in words:
        if skip:
            skip = False
        elif word == "-plugin":
            skip = True
        elif not word.startswith("-plugin-opt"):
            out.append(word)
    return out


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: lld_link.py LLD COMPILER ARGS...")
    lld, compiler, args = sys.argv[1], sys.argv[2], expand_response_files(sys.argv[3:])
    words = without_plugin(driver_link_line(compiler, args))
    sys.exit(subprocess.run([lld, *words]).returncode)


if __name__ == "__main__":
    main()
