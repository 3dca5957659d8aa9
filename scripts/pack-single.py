#!/usr/bin/env python3
"""Appends a folder's files to the single-file setup's program, as make-medium.sh --single does.

    pack-single.py <program> <folder> <output file>

Each file (sorted, below the folder, "\\" between the parts) is written as its name's length
(u16) and name, its size, CRC-32 and stored length (u32 each) and its raw deflate stream; then
the trailer: "TVSINGL1", the offset of the first file, the number of files, the sum of their
sizes, and the CRC-32 of every byte before it (stub/single_setup.cpp reads this form).
"""
import os, struct, sys, zlib
stub, folder, out = sys.argv[1], sys.argv[2], sys.argv[3]
names = []
for top, dirs, files in os.walk(os.fsencode(folder)):
    dirs.sort()
    for f in sorted(files):
        names.append(os.path.relpath(os.path.join(top, f), os.fsencode(folder)))
with open(stub, 'rb') as s:
    image = bytearray(s.read())
first = len(image)
total = 0
for name in names:
    with open(os.path.join(os.fsencode(folder), name), 'rb') as f:
        data = f.read()
    packer = zlib.compressobj(9, zlib.DEFLATED, -15, 9)
    stored = packer.compress(data) + packer.flush()
    windows_name = name.replace(b'/', b'\\')
    image += struct.pack('<H', len(windows_name)) + windows_name
    image += struct.pack('<III', len(data), zlib.crc32(data), len(stored)) + stored
    total += len(data)
image += b'TVSINGL1' + struct.pack('<III', first, len(names), total)
image += struct.pack('<I', zlib.crc32(bytes(image)))
with open(out, 'wb') as f:
    f.write(image)
