#!/usr/bin/env python3
"""Writes a program's manual page (troff, gzip-compressed) from what the
program itself prints for --help, so the page never tells another story
than the program.

    make_manpage.py OUTPUT.1.gz NAME "ONE-LINE SUMMARY" PROGRAM [COMMAND...]

The first line of PROGRAM --help (its usage) becomes the synopsis, the rest
the description; each COMMAND adds a section from PROGRAM COMMAND --help.
"""
import gzip
import os
import subprocess
import sys


def help_of(arguments):
    environment = dict(os.environ)
    # The window's program answers --help before it needs a display.
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        environment.pop(name, None)
    result = subprocess.run(arguments + ["--help"], capture_output=True, text=True, env=environment)
    if result.returncode != 0 or not result.stdout.strip():
        sys.exit(f"make_manpage.py: {' '.join(arguments)} --help failed ({result.returncode}): {result.stderr}")
    return result.stdout.replace("\r", "")


def escaped(line):
    # Backslashes and lines that troff would read as requests.
    line = line.replace("\\", "\\e")
    if line.startswith((".", "'")):
        line = "\\&" + line
    return line


def block(text):
    return ".nf\n" + "\n".join(escaped(line) for line in text.strip("\n").split("\n")) + "\n.fi\n"


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    output, name, summary, program = sys.argv[1:5]
    commands = sys.argv[5:]
    text = help_of([program])
    synopsis, _, description = text.strip("\n").partition("\n")
    synopsis = synopsis.removeprefix("Usage: ")
    page = [
        f'.TH {name.upper()} 1 "" "{name}" "User Commands"',
        ".SH NAME",
        f"{escaped(name)} \\- {escaped(summary)}",
        ".SH SYNOPSIS",
        block(synopsis).rstrip("\n"),
        ".SH DESCRIPTION",
        block(description).rstrip("\n"),
    ]
    for command in commands:
        page += [f".SH COMMAND {command.upper()}", block(help_of([program, command])).rstrip("\n")]
    others = [p for p in ("voriraz", "voriraz-cli") if p != name]
    page += [".SH SEE ALSO", ", ".join(f"{p}(1)" for p in others)]
    data = ("\n".join(page) + "\n").encode("utf-8")
    # mtime 0: the same page gives the same bytes, build after build.
    with open(output, "wb") as f, gzip.GzipFile(filename="", mode="wb", fileobj=f, mtime=0, compresslevel=9) as z:
        z.write(data)


if __name__ == "__main__":
    main()
