#!/usr/bin/env python3
"""An independent reader of a package directory and its offline update file.

Written from the published byte layout only (QDataStream version 17, big-endian; payloads as a
4-byte big-endian length followed by a zlib stream; names from SHA-256 in lower-case hex), so
that it checks the builder against the format rather than against the builder's own reader.
Usage: read_package.py PACKAGE_DIR OFFLINE_FILE LOG_FILE
"""
import hashlib
import re
import struct
import sys
import zlib

IDENTIFIER = "9efe37a7-b219-44c4-a500-859a954ea863"


class Stream:
    def __init__(self, data):
        self.data = data
        self.pos = 0

    def take(self, n):
        if self.pos + n > len(self.data):
            raise ValueError("premature end at byte %d" % self.pos)
        chunk = self.data[self.pos:self.pos + n]
        self.pos += n
        return chunk

    def int32(self):
        return struct.unpack(">i", self.take(4))[0]

    def bytes(self):
        n = struct.unpack(">I", self.take(4))[0]
        return b"" if n == 0xFFFFFFFF else self.take(n)

    def string(self):
        return self.bytes().decode("utf-16-be")


def expand(payload):
    size = struct.unpack(">I", payload[:4])[0]
    content = zlib.decompress(payload[4:]) if size else b""
    if len(content) != size:
        raise ValueError("payload states %d bytes, holds %d" % (size, len(content)))
    return content


def sha(data):
    return hashlib.sha256(data).hexdigest()


def main(package, offline, log):
    data = open(offline, "rb").read()
    assert data[:8] == bytes.fromhex("0000004800390065"), "offline file header"
    s = Stream(data)
    assert s.string() == IDENTIFIER
    s.int32()  # release year
    assert s.pos == 80, "record count must sit at byte 80"
    count = s.int32()
    records = []
    for _ in range(count):
        name, group, index, payload = s.string(), s.int32(), s.int32(), s.bytes()
        assert re.fullmatch(r"[0-9a-f]{64}", name), name
        assert sha(expand(payload)) == name, "record content does not match its name"
        assert open("%s/%s.bin" % (package, name), "rb").read() == payload, "data file differs"
        records.append((name, group, index))
    document = s.bytes()
    assert s.pos == len(data), "bytes after the document"

    info = open(package + "/info.bin", "rb").read()
    assert len(info) == 68 and re.fullmatch(rb"[0-9a-f]{64}\.bin", info), info
    assert open(package + "/" + info.decode(), "rb").read() == document
    binary = expand(document)
    assert sha(binary) == info[:64].decode(), "document name is not its hash"
    assert binary[:4] == b"qbjs" and struct.unpack("<I", binary[4:8])[0] == 1, "binary JSON v1"

    lines = open(log, "rb").read().split(b"\r\n")
    assert lines[-1] == b"", "every log line ends in CR LF"
    assert len(lines) - 1 == count, "one log line per record"
    for line, (name, group, index) in zip(lines, records):
        assert line.endswith(("-->%s.bin (%d,%d)" % (name, group, index)).encode()), line
    print("package ok: %d records" % count)


if __name__ == "__main__":
    try:
        main(*sys.argv[1:4])
    except (AssertionError, ValueError, OSError, zlib.error) as error:
        print("package broken:", error)
        sys.exit(1)
