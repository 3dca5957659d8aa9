#!/usr/bin/env python3
"""Where the bytes of a linked image go, from the linker's map (-Wl,-Map=<file>).

  size-report.py <map> [<how many>]

Sums the input sections that were kept, by the object or library member they came from, and
prints the largest (default 15), each with its share of the kept bytes and the output sections
they went to. Unused sections the linker dropped (--gc-sections) are not counted.
"""
import collections
import re
import sys

ENTRY = re.compile(r"^ (\.[^\s]+|COMMON)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.+)$")
NAME_ONLY = re.compile(r"^ (\.[^\s]+|COMMON)\s*$")
PLACE = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.+)$")
OUTPUT = re.compile(r"^(\.[^\s]+)\s+0x[0-9a-f]+")


def short(origin):
    origin = origin.strip()
    if "(" in origin and origin.endswith(")"):
        archive, member = origin[:-1].split("(", 1)
        return "%s(%s)" % (archive.rsplit("/", 1)[-1], member)
    return origin.rsplit("/", 1)[-1]


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    count = int(sys.argv[2]) if len(sys.argv) == 3 else 15
    sizes = collections.Counter()
    sections = collections.defaultdict(collections.Counter)
    in_map = False
    pending = None
    output = "?"
    with open(sys.argv[1], errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("Linker script and memory map"):
                in_map = True
                continue
            if not in_map:
                continue
            m = OUTPUT.match(line)
            if m:
                output = m.group(1)
                continue
            m = ENTRY.match(line)
            if not m and pending:
                p = PLACE.match(line)
                if p:
                    m = (pending, p.group(1), p.group(2), p.group(3))
                pending = None
            elif m:
                m = m.groups()
            if not m:
                n = NAME_ONLY.match(line)
                pending = n.group(1) if n else None
                continue
            _, address, size, origin = m
            size = int(size, 16)
            if size == 0 or int(address, 16) == 0 or origin.startswith("load address"):
                continue
            key = short(origin)
            sizes[key] += size
            sections[key][output] += size
    total = sum(sizes.values())
    print("kept input sections: %d bytes" % total)
    for key, size in sizes.most_common(count):
        parts = ", ".join("%s %d" % s for s in sections[key].most_common(3))
        print("  %7d  %4.1f%%  %s  (%s)" % (size, 100.0 * size / total, key, parts))


if __name__ == "__main__":
    main()
