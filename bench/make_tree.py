#!/usr/bin/env python3
"""Generates a source tree for the builder benchmark: a few thousand files in nested
folders, mixed compressible text and incompressible bytes, and some duplicates.
Usage: make_tree.py FOLDER MEGABYTES"""
import os
import random
import sys

folder, megabytes = sys.argv[1], int(sys.argv[2])
rng = random.Random(2026)
words = [b"Buchung", b"Konto", b"Soll", b"Haben", b"Beleg", b"Umsatzsteuer", b"Jahr",
         b"Abschluss", b"Kasse", b"Bank", b"Rechnung", b"Zahlung"]
budget = megabytes * 1000 * 1000
made = []
written = 0
index = 0
while written < budget:
    sub = os.path.join(folder, "modul%02d" % (index % 40), "teil%d" % (index % 7))
    os.makedirs(sub, exist_ok=True)
    path = os.path.join(sub, "datei%05d.bin" % index)
    kind = rng.random()
    if made and kind < 0.15:
        data = open(rng.choice(made), "rb").read()
    else:
        size = int(2 ** rng.uniform(10, 20))
        if rng.random() < 0.02:
            size *= 8
        if kind < 0.6:
            parts = []
            length = 0
            while length < size:
                w = rng.choice(words) + b" %d\n" % rng.randrange(100000)
                parts.append(w)
                length += len(w)
            data = b"".join(parts)[:size]
        else:
            data = os.urandom(size)
    with open(path, "wb") as f:
        f.write(data)
    made.append(path)
    written += len(data)
    index += 1
