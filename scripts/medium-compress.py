#!/usr/bin/env python3
"""The compressed form of a medium's product files (setup/core/medium_file.h describes it).

  medium-compress.py compress     stdin: NUL-separated triples <relative> <original> <file on
                                  the medium>, as make-medium.sh lists its moves; every file on
                                  the medium is replaced by its compressed form, stamped with
                                  the original's last-write time. Prints the totals.
  medium-compress.py check-plain  the same input; fails, naming them, when a file that stays
                                  plain begins with the signature (the engine would take it for
                                  a compressed one).
  medium-compress.py expand <medium file> <output>
                                  writes the original back, verified (size, CRC-32, the
                                  stream's end at the end of the file); exit 1 when damaged.
"""
import os
import struct
import sys
import zlib

SIGNATURE = b"TVZ1\x1a\r\n\x00"
HEADER = struct.Struct("<8sIIIQ")  # signature, size, CRC-32, sum of words, FILETIME
EPOCH_1601 = 116444736000000000  # FILETIME of 1970-01-01


def sum_of_words(data):
    padded = data + b"\0" * (-len(data) % 4)
    return sum(struct.unpack("<%dI" % (len(padded) // 4), padded)) & 0xFFFFFFFF


def compressed_form(data, mtime_ns):
    written = mtime_ns // 100 + EPOCH_1601
    header = HEADER.pack(SIGNATURE, len(data), zlib.crc32(data) & 0xFFFFFFFF,
                         sum_of_words(data), written)
    return header + zlib.compress(data, 9)


def triples(stream):
    parts = stream.read().split(b"\0")
    if parts and parts[-1] == b"":
        parts.pop()
    if len(parts) % 3:
        sys.exit("medium-compress: the list is not made of triples")
    for i in range(0, len(parts), 3):
        yield (os.fsdecode(parts[i]), os.fsdecode(parts[i + 1]), os.fsdecode(parts[i + 2]))


def compress(stream):
    count = before = after = 0
    for _, original, target in triples(stream):
        with open(target, "rb") as f:
            data = f.read()
        if len(data) > 0xFFFFFFFF:
            sys.exit("medium-compress: %s is larger than 4 GB" % original)
        packed = compressed_form(data, os.stat(original).st_mtime_ns)
        with open(target + ".tvz", "wb") as f:
            f.write(packed)
        os.replace(target + ".tvz", target)
        count += 1
        before += len(data)
        after += len(packed)
    print("%d %d %d" % (count, before, after))


def check_plain(stream):
    bad = []
    for relative, _, target in triples(stream):
        with open(target, "rb") as f:
            if f.read(len(SIGNATURE)) == SIGNATURE:
                bad.append(relative)
    if bad:
        print(" ".join(bad))
        sys.exit(1)


def expand(source, output):
    with open(source, "rb") as f:
        data = f.read()
    if len(data) < HEADER.size or data[:8] != SIGNATURE:
        sys.exit("%s: not a compressed medium file" % source)
    _, size, crc, _, _ = HEADER.unpack_from(data)
    d = zlib.decompressobj()
    try:
        original = d.decompress(data[HEADER.size:])
    except zlib.error as e:
        sys.exit("%s: damaged (%s)" % (source, e))
    if not d.eof or d.unused_data or len(original) != size or zlib.crc32(original) != crc:
        sys.exit("%s: damaged" % source)
    with open(output, "wb") as f:
        f.write(original)


def main():
    if len(sys.argv) == 2 and sys.argv[1] == "compress":
        compress(sys.stdin.buffer)
    elif len(sys.argv) == 2 and sys.argv[1] == "check-plain":
        check_plain(sys.stdin.buffer)
    elif len(sys.argv) == 4 and sys.argv[1] == "expand":
        expand(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
