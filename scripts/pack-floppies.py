#!/usr/bin/env python3
"""A laid-out medium as a set of 1.44 MB diskette images (setup/core/disk_set.h gives the list).

  pack-floppies.py <layout> <output folder> <label prefix> <files>

<files> lists, one per line, "<role>\\t<path below the layout, with />": role "own" for what
the loader and the engine need before anything else (the loader, the engine, the description,
the disclaimer), "early" for files the engine reads before it installs (the plug-in, the
licence), "product" for the files that elements copy. The first two go whole on the first
diskette; the product's files follow in the list's order, and a file larger than the space left
on a diskette is cut there and continues on the next, under the same path. The first diskette
also holds DISKSET.TXT, every diskette DISK.ID. The images (DISK1.IMG, DISK2.IMG, ...) are made
with mtools: FAT12, labelled <label prefix>_<n>, long names kept beside their 8.3 forms.
Prints one line per diskette and one per product file (which diskettes hold it).
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

SECTOR = 512
CLUSTERS = 2847  # data clusters of a 1.44 MB FAT12 diskette, one sector each
ROOT_ENTRIES = 224
SIGNATURE = b"TVZ1\x1a\r\n\x00"
HEADER = struct.Struct("<8sIIIII")  # signature, size, CRC-32, sum of words, FILETIME low, high
LIST_NAME = "DISKSET.TXT"
ID_NAME = "DISK.ID"
MAX_DISKS = 99


def entries_for(name):
    """Directory entries a name takes: its 8.3 entry and, conservatively, long-name entries."""
    return 1 + (len(name) + 12) // 13


def clusters_for(size):
    return (size + SECTOR - 1) // SECTOR


class Disk:
    def __init__(self, number):
        self.number = number
        self.used = 0  # clusters of files and folders
        self.root = 0  # entries of the root folder
        self.folders = {}  # folder path -> directory bytes
        self.parts = []  # (path, offset, length)

    def _growth(self, path):
        """Clusters and root entries that a new entry for `path` adds to its folders."""
        parts = path.split("/")
        clusters = root = 0
        for depth in range(len(parts)):
            name = parts[depth]
            parent = "/".join(parts[:depth])
            if depth < len(parts) - 1 and "/".join(parts[: depth + 1]) in self.folders:
                continue
            if parent == "":
                root += entries_for(name)
            else:
                before = self.folders.get(parent, 64)
                after = before + 32 * entries_for(name)
                clusters += clusters_for(after) - clusters_for(before)
            if depth < len(parts) - 1:
                clusters += 1  # the new folder's first cluster ("." and "..")
        return clusters, root

    def room_for(self, path):
        """Bytes of a file at `path` that still fit; 0 when not even its entry does."""
        clusters, root = self._growth(path)
        if self.root + root > ROOT_ENTRIES:
            return 0
        return max(0, CLUSTERS - self.used - clusters) * SECTOR

    def add(self, path, offset, length):
        clusters, root = self._growth(path)
        parts = path.split("/")
        for depth in range(len(parts)):
            parent = "/".join(parts[:depth])
            here = "/".join(parts[: depth + 1])
            if depth < len(parts) - 1 and here in self.folders:
                continue
            if parent:
                self.folders[parent] = self.folders.get(parent, 64) + 32 * entries_for(parts[depth])
            if depth < len(parts) - 1:
                self.folders[here] = 64
        self.used += clusters + clusters_for(length)
        self.root += root
        self.parts.append((path, offset, length))


def header_fields(path):
    with open(path, "rb") as f:
        head = f.read(HEADER.size)
    if len(head) == HEADER.size and head[:8] == SIGNATURE:
        _, size, crc, total, low, high = HEADER.unpack(head)
        return "z", (size, crc, total, low, high)
    return "p", (os.path.getsize(path), 0, 0, 0, 0)


def plan(layout, files, list_reserve):
    disks = [Disk(1)]
    disks[0].add(ID_NAME, 0, 64)
    disks[0].add(LIST_NAME, 0, list_reserve)
    for role, path in files:
        if role == "product":
            continue
        size = os.path.getsize(os.path.join(layout, path))
        if disks[0].room_for(path) < size:
            sys.exit("pack-floppies: %s does not fit on the first diskette beside the loader and "
                     "the engine" % path)
        disks[0].add(path, 0, size)
    placed = []
    for role, path in files:
        if role != "product":
            continue
        size = os.path.getsize(os.path.join(layout, path))
        offset = 0
        pieces = []
        while True:
            disk = disks[-1]
            room = disk.room_for(path)
            if size - offset <= room:
                disk.add(path, offset, size - offset)
                pieces.append((disk.number, size - offset))
                break
            if room >= 4 * SECTOR:  # a sliver is not worth a part of its own
                disk.add(path, offset, room)
                pieces.append((disk.number, room))
                offset += room
            if len(disks) == MAX_DISKS:
                sys.exit("pack-floppies: the medium needs more than %d diskettes" % MAX_DISKS)
            disks.append(Disk(len(disks) + 1))
            disks[-1].add(ID_NAME, 0, 64)
        placed.append((path, pieces))
    return disks, placed


def list_text(layout, labels, placed):
    lines = []
    for n, label in enumerate(labels, 1):
        lines.append("disk %d %s" % (n, label))
    for path, pieces in placed:
        form, numbers = header_fields(os.path.join(layout, path))
        parts = ",".join("%d:%d" % piece for piece in pieces)
        lines.append("file %s %d %d %d %d %d %s %s" % ((form,) + numbers + (parts,
                                                                            path.replace("/", "\\"))))
    body = "".join(line + "\r\n" for line in lines).encode("latin-1", "surrogateescape")
    serial = "%08X" % (zlib.crc32(body) & 0xFFFFFFFF)
    return serial, ("set %s\r\n" % serial).encode() + body


def copy_range(source, target, offset, length):
    os.makedirs(os.path.dirname(target) or ".", exist_ok=True)
    with open(source, "rb") as f, open(target, "wb") as out:
        f.seek(offset)
        left = length
        while left:
            block = f.read(min(left, 1 << 20))
            if not block:
                sys.exit("pack-floppies: %s ended early" % source)
            out.write(block)
            left -= len(block)
    shutil.copystat(source, target)


def make_image(folder, image, label):
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1", MTOOLS_NO_VFAT="0")
    subprocess.run(["mformat", "-C", "-f", "1440", "-v", label, "-i", image, "::"], check=True,
                   env=env, stdout=subprocess.DEVNULL)
    names = sorted(os.listdir(folder))
    subprocess.run(["mcopy", "-s", "-m", "-Q", "-i", image] +
                   [os.path.join(folder, n) for n in names] + ["::/"], check=True, env=env,
                   stdout=subprocess.DEVNULL)


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    layout, out, prefix, listing = sys.argv[1:]
    files = []
    with open(listing, encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            role, path = line.rstrip("\n").split("\t", 1)
            files.append((role, path))
    products = sum(1 for role, _ in files if role == "product")
    reserve = 256 + 160 * products + 24 * MAX_DISKS
    disks, placed = plan(layout, files, reserve)
    labels = ["%s_%d" % (prefix, d.number) for d in disks]
    serial, listed = list_text(layout, labels, placed)
    if len(listed) > reserve:
        sys.exit("pack-floppies: the list came out longer than its room on the first diskette")
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="floppies.", dir=out)
    try:
        for disk, label in zip(disks, labels):
            folder = os.path.join(work, "disk%d" % disk.number)
            os.makedirs(folder)
            for path, offset, length in disk.parts:
                target = os.path.join(folder, path)
                if path == ID_NAME:
                    with open(target, "wb") as f:
                        f.write(("%s %s\r\n" % (label, serial)).encode())
                elif path == LIST_NAME:
                    with open(target, "wb") as f:
                        f.write(listed)
                else:
                    copy_range(os.path.join(layout, path), target, offset, length)
            image = os.path.join(work, "DISK%d.IMG" % disk.number)
            make_image(folder, image, label)
            used = sum(length for _, _, length in disk.parts)
            print("disk %d %s: %d files, %d bytes" % (disk.number, label, len(disk.parts), used))
        for disk in disks:
            os.replace(os.path.join(work, "DISK%d.IMG" % disk.number),
                       os.path.join(out, "DISK%d.IMG" % disk.number))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for path, pieces in placed:
        print("file %s on %s" % (path, ", ".join("disk %d (%d bytes)" % p for p in pieces)))


if __name__ == "__main__":
    main()
