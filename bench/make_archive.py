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
    for i in range(12):
        files.append(("bin/tool%02d.exe" % i, "bin", rng.randint(100_000, 2_000_000)))
    for i in range(40):
        files.append(("bin/lib%02d.dll" % i, "bin", rng.randint(150_000, 4_000_000)))
    for i in range(4):
        files.append(("bin/core%d.dll" % i, "bin", rng.randint(10_000_000, 22_000_000)))
    for i in range(110):
        files.append(("modules/mod_%03d.so" % i, "bin", rng.randint(20_000, 900_000)))
    for i in range(90):
        files.append(("ext/php_ext%02d.dll" % i, "bin", rng.randint(40_000, 1_100_000)))
    for i in range(40):
        files.append(("lib/lib%02d.lib" % i, "bin", rng.randint(2_000, 1_000_000)))
    for i in range(700):
        files.append(("include/sub%d/header%03d.h" % (i % 9, i), "text", rng.randint(1_000, 60_000)))
    for i in range(2000):
        files.append(("manual/%s/page%04d.html" % (["en", "fr", "de", "es", "ja"][i % 5], i), "text",
                      rng.randint(2_000, 50_000)))
    for name in ("LICENSE.txt", "README.txt", "CHANGES.txt", "conf/httpd.conf", "php.ini-development"):
        files.append((name, "text", rng.randint(5_000, 200_000)))

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
