#!/usr/bin/env python3
"""Writes the benchmark archive: about 200 MB of zip in about 3000 files, laid out like a server
build (a top folder with bin, modules, ext, lib, include and manual), with executables that
compress about as well as real ones and text that compresses like headers and HTML pages.
The same seed always gives the same archive.

usage: make_archive.py OUTPUT.zip
"""

import os
import random
import sys
import zipfile

TOP = "bench-build-1.0/"
BLOCK = 4096
LANGUAGES = ["en", "fr", "de", "es", "ja"]
# name pattern, count, kind, smallest and largest size in bytes
LAYOUT = [
    ("bin/tool{i:02d}.exe", 12, "bin", 100_000, 2_000_000),
    ("bin/lib{i:02d}.dll", 40, "bin", 150_000, 4_000_000),
    ("bin/core{i}.dll", 4, "bin", 10_000_000, 22_000_000),
    ("modules/mod_{i:03d}.so", 110, "bin", 20_000, 900_000),
    ("ext/php_ext{i:02d}.dll", 90, "bin", 40_000, 1_100_000),
    ("lib/lib{i:02d}.lib", 40, "bin", 2_000, 1_000_000),
    ("include/sub{sub}/header{i:03d}.h", 700, "text", 1_000, 60_000),
    ("manual/{lang}/page{i:04d}.html", 2000, "text", 2_000, 50_000),
    ("README{i}.txt", 5, "text", 5_000, 200_000),
]


def make_pools(rng):
    """Blocks that binaries are made of: incompressible, padding, and low-entropy 'code'."""
    nibble = bytes(range(16))
    code = [bytes(nibble[b & 15] for b in rng.randbytes(BLOCK)) for _ in range(512)]
    lines = []
    words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz_") for _ in range(rng.randint(2, 12)))
             for _ in range(3000)]
    for _ in range(4000):
        n = rng.randint(3, 14)
        body = " ".join(rng.choice(words) for _ in range(n))
        lines.append(rng.choice(["<p>%s</p>", "  %s;", "#define %s", "/* %s */", "<li>%s</li>", "%s"]) % body)
    return code, lines


def binary(rng, code, size):
    out = bytearray()
    while len(out) < size:
        kind = rng.random()
        if kind < 0.30:
            out += rng.randbytes(BLOCK)
        elif kind < 0.55:
            out += bytes(BLOCK)
        else:
            out += rng.choice(code)
    return bytes(out[:size])


def text(rng, lines, size):
    out = []
    length = 0
    while length < size:
        line = rng.choice(lines)
        out.append(line)
        length += len(line) + 2
    return ("\r\n".join(out) + "\r\n").encode()


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    output = sys.argv[1]
    rng = random.Random(20240601)
    code, lines = make_pools(rng)
    files = []
    for pattern, count, kind, smallest, largest in LAYOUT:
        for i in range(count):
            name = pattern.format(i=i, sub=i % 9, lang=LANGUAGES[i % len(LANGUAGES)])
            files.append((name, kind, rng.randint(smallest, largest)))

    temp = output + ".tmp"
    with zipfile.ZipFile(temp, "w", compression=zipfile.ZIP_DEFLATED, compresslevel=6) as archive:
        archive.writestr(TOP, b"")
        folders = set()
        for name, kind, size in files:
            folder = name.rsplit("/", 1)[0] + "/" if "/" in name else None
            if folder and folder not in folders:
                folders.add(folder)
                archive.writestr(TOP + folder, b"")
            data = binary(rng, code, size) if kind == "bin" else text(rng, lines, size)
            archive.writestr(TOP + name, data)
    os.replace(temp, output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
