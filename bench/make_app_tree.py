#!/usr/bin/env python3
"""Generates an installation-like source tree for the process benchmarks, the same bytes on
every run (seeded).

Usage: make_app_tree.py FOLDER KIND
  application  about 2,100 files, about 60 MB: program and library binaries with code-like
               structure, help pages, templates, forms, images, a few files of several MB,
               some files present in more than one folder
  small-files  20,000 small files, about 62 MB, in 400 folders
  one-large    a single file of 1 GiB"""
import os
import random
import sys

GERMAN = ("Buchung Konto Soll Haben Beleg Umsatzsteuer Vorsteuer Jahresabschluss Kasse Bank "
          "Rechnung Zahlung Mandant Kontenrahmen Abschreibung Anlage Bilanz Gewinn Verlust "
          "Finanzamt Erklärung Lohn Gehalt Kostenstelle Auswertung Saldo Datum Betrag Eingabe "
          "und der die das mit für auf im zum wird werden kann nicht oder bei nach von").split()
IDENTIFIERS = ("Ledgora Core Widgets Gui Sql Xml Network Print Report Journal Ledger Account "
               "Posting Tax Form Export Import Dialog Model View Delegate Engine Cache Buffer "
               "Stream Reader Writer Parser Validator Manager Service Handler").split()
MB = 1000 * 1000


class Generator:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        # Instruction-like byte groups, chosen with skewed weights: machine code repeats its
        # few common patterns and compresses to about half, as real binaries do.
        self.opcodes = [self.rng.randbytes(self.rng.randint(1, 7)) for _ in range(1000)]
        self.weights = [1.0 / (i + 1) for i in range(len(self.opcodes))]
        self.code_pool = self._code(4 * 1024 * 1024)

    def _code(self, size):
        parts = []
        length = 0
        while length < size:
            chunk = self.rng.choices(self.opcodes, self.weights, k=4096)
            # Addresses and constants: the part of code that does not repeat.
            chunk.extend(self.rng.randbytes(4) for _ in range(300))
            self.rng.shuffle(chunk)
            block = b"".join(chunk)
            parts.append(block)
            length += len(block)
        return b"".join(parts)[:size]

    def code(self, size):
        start = self.rng.randrange(len(self.code_pool) - size) if size < len(self.code_pool) else 0
        data = self.code_pool[start:start + size]
        return data + self._code(size - len(data)) if len(data) < size else data

    def words(self, size, pool=GERMAN):
        parts = []
        length = 0
        while length < size:
            line = " ".join(self.rng.choices(pool, k=self.rng.randint(4, 14)))
            parts.append(line)
            length += len(line) + 1
        return "\n".join(parts).encode("utf-8")[:size]

    def binary(self, size):
        """A PE-like file: header, code, a string table, padding and packed resources."""
        header = b"MZ" + b"\x90\x00" + bytes(58) + b"PE\x00\x00" + self.rng.randbytes(184)
        rest = max(0, size - len(header))
        code = self.code(rest * 55 // 100)
        strings = self.symbols(rest * 20 // 100)
        padding = bytes(rest * 7 // 100)
        resources = self.rng.randbytes(rest - len(code) - len(strings) - len(padding))
        return (header + code + strings + padding + resources)[:size]

    def symbols(self, size):
        names = []
        length = 0
        while length < size:
            name = "?%s%s@@QEAA%d" % (self.rng.choice(IDENTIFIERS), self.rng.choice(IDENTIFIERS),
                                      self.rng.randrange(100))
            names.append(name.encode())
            length += len(name) + 1
        return b"\x00".join(names)[:size]

    def html(self, size):
        parts = [b"<!DOCTYPE html>\n<html lang=\"de\"><head><meta charset=\"utf-8\"><title>",
                 self.words(40), b"</title><link rel=\"stylesheet\" href=\"../hilfe.css\">"
                 b"</head>\n<body>\n"]
        length = sum(map(len, parts))
        while length < size:
            tag = self.rng.choice([b"p", b"p", b"p", b"li", b"h2", b"td"])
            piece = b"<%s>%s</%s>\n" % (tag, self.words(self.rng.randint(60, 400)), tag)
            if self.rng.random() < 0.2:
                piece += b"<a href=\"seite%04d.htm\">%s</a>\n" % (self.rng.randrange(900),
                                                                  self.words(30))
            parts.append(piece)
            length += len(piece)
        return (b"".join(parts)[:size - 15] + b"</body></html>\n")[:size]

    def table(self, size):
        lines = [b"Konto;Bezeichnung;Kategorie;Steuerschluessel"]
        length = len(lines[0])
        while length < size:
            line = b"%04d;%s;%d;%d" % (self.rng.randrange(10000), self.words(40),
                                       self.rng.randrange(20), self.rng.randrange(100))
            lines.append(line)
            length += len(line) + 1
        return b"\n".join(lines)[:size]

    def document(self, size):
        """A form or manual page: text streams between already-compressed images."""
        text = self.words(size // 3)
        return (b"%PDF-1.7\n" + text + self.rng.randbytes(size))[:size]

    def database(self, size):
        """An empty database: mostly zero pages, a little structure."""
        page = 4096
        pages = []
        for i in range(size // page + 1):
            head = self.rng.randbytes(32) if i % 8 == 0 else b""
            pages.append(head + bytes(page - len(head)))
        return (b"SQLite format 3\x00" + b"".join(pages))[:size]

    def size(self, low, high):
        """A size between low and high bytes, smaller ones more often."""
        return int(low * (high / low) ** self.rng.random() ** 1.6)


def write(folder, relative, data):
    path = os.path.join(folder, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def application(folder):
    gen = Generator(2026)
    files = {}

    def add(relative, data):
        files[relative] = data

    add("Ledgora.exe", gen.binary(6 * MB))
    add("LedgoraDienst.exe", gen.binary(900 * 1000))
    for name in IDENTIFIERS[:24]:
        add("Ledgora%s.dll" % name, gen.binary(gen.size(40 * 1000, 2 * MB)))
    for name in ("Qt5Core", "Qt5Gui", "Qt5Widgets", "Qt5Network", "Qt5Sql", "Qt5Xml",
                 "Qt5PrintSupport", "libcrypto-3-x64", "libssl-3-x64", "zlib1", "icudt"):
        add("%s.dll" % name, gen.binary(gen.size(150 * 1000, 2 * MB)))
    runtime = {"msvcp140.dll": gen.binary(560 * 1000), "vcruntime140.dll": gen.binary(98 * 1000),
               "vcruntime140_1.dll": gen.binary(37 * 1000)}
    for plugin_dir in ("platforms", "imageformats", "sqldrivers", "printsupport", "styles",
                       "plugins/elster", "plugins/banking", "plugins2/eric"):
        for i in range(gen.rng.randint(4, 9)):
            add("%s/q%s%d.dll" % (plugin_dir, gen.rng.choice(IDENTIFIERS).lower(), i),
                gen.binary(gen.size(15 * 1000, 500 * 1000)))
        if plugin_dir.startswith("plugins"):
            for name, data in runtime.items():
                add("%s/%s" % (plugin_dir, name), data)
    for name, data in runtime.items():
        add(name, data)
    add("Datenbank/leer.db", gen.database(5 * MB))
    add("Datenbank/muster.db", gen.database(1 * MB))
    add("Handbuch/Handbuch.pdf", gen.document(4 * MB))
    add("Handbuch/Schnellstart.pdf", gen.document(1 * MB))
    for lang in ("de", "en", "fr", "it", "pl", "tr"):
        add("translations/ledgora_%s.qm" % lang, gen.words(gen.size(40 * 1000, 300 * 1000)))

    images = [gen.rng.randbytes(gen.size(1500, 40 * 1000)) for _ in range(160)]
    for chapter in range(30):
        for page in range(36):
            add("Hilfe/kapitel%02d/seite%04d.htm" % (chapter, chapter * 36 + page),
                gen.html(gen.size(1500, 30 * 1000)))
        for i in range(8):
            # Icons and screenshots, several used by more than one chapter.
            add("Hilfe/kapitel%02d/bilder/bild%02d.png" % (chapter, i), gen.rng.choice(images))
    add("Hilfe/hilfe.css", gen.words(12 * 1000))
    add("Hilfe/Hilfe.chm", gen.document(3 * MB))
    forms = ("UStVA", "EUeR", "GewSt", "KSt", "Bilanz", "Lohnsteuer", "ZM", "Anlage")
    for year in range(2019, 2027):
        for form in forms:
            add("Formulare/%d/%s_%d.pdf" % (year, form, year), gen.document(gen.size(20 * 1000,
                                                                                   250 * 1000)))
            add("Formulare/%d/%s_%d.xml" % (year, form, year), gen.table(gen.size(3000, 30000)))
    standard = {n: gen.table(gen.size(5000, 60 * 1000)) for n in ("SKR03", "SKR04", "SKR49")}
    for branch in range(30):
        folder_name = "Vorlagen/branche%02d" % branch
        for name, data in standard.items():
            add("%s/%s.csv" % (folder_name, name), data)
        for i in range(gen.rng.randint(6, 14)):
            add("%s/vorlage%02d.rtf" % (folder_name, i), gen.words(gen.size(1000, 40 * 1000)))
    for i in range(100):
        add("Berichte/bericht%03d.xml" % i, gen.table(gen.size(2000, 60 * 1000)))
    for i in range(40):
        add("Updater/liesmich%02d.txt" % i, gen.words(gen.size(500, 8000)))

    for relative, data in files.items():
        write(folder, relative, data)


def small_files(folder):
    gen = Generator(2027)
    count, total = 20000, 62 * MB
    sizes = [gen.size(300, 20 * 1000) for _ in range(count)]
    scale = total / sum(sizes)
    makers = (gen.html, gen.words, gen.table, gen.binary)
    for i, size in enumerate(sizes):
        size = max(100, int(size * scale))
        data = gen.rng.choice(makers)(size)
        write(folder, "daten%02d/gruppe%02d/datei%05d.dat" % (i % 20, i // 20 % 20, i), data)


def one_large(folder):
    gen = Generator(2028)
    os.makedirs(folder, exist_ok=True)
    # Distinct blocks, each longer than a compressor's window, drawn from one made pool.
    pool = gen.binary(32 * 1024 * 1024)
    block = 1024 * 1024
    with open(os.path.join(folder, "Archiv.db"), "wb") as f:
        for i in range(1024):
            start = gen.rng.randrange(len(pool) - block)
            f.write(b"%08d" % i + pool[start + 8:start + block])


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in ("application", "small-files", "one-large"):
        sys.exit(__doc__)
    folder = sys.argv[1]
    {"application": application, "small-files": small_files, "one-large": one_large}[
        sys.argv[2]](folder)


main()
