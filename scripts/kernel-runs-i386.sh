#!/bin/bash
# Exit 0 when this machine's kernel runs 32-bit x86 programs, 1 when it refuses them.
#   scripts/kernel-runs-i386.sh [--say]
# The probe is a 96-byte static i386 ELF program written out below: one program header, and code
# that calls the kernel's exit (int 0x80, eax 1) with status 42. It needs no library and no
# 32-bit userland, so it answers the kernel's question alone: a kernel without IA-32 support
# fails its execve ("Exec format error"), and one with it returns 42. Any other result counts as
# "refused". TARVO_I386=emulate makes the probe answer "refused" (to try the emulated CPU on a
# kernel that would run the code itself).
set -u
say=0
[ "${1:-}" = --say ] && say=1
answer() {
    [ "$say" = 1 ] && echo "$2"
    exit "$1"
}
[ "${TARVO_I386:-}" = emulate ] && answer 1 "refused (TARVO_I386=emulate)"
dir=$(mktemp -d "${TMPDIR:-/tmp}/i386-probe.XXXXXX") || answer 1 "refused (no temporary folder)"
trap 'rm -rf "$dir"' EXIT
probe="$dir/probe"
# ELF header (52 bytes), program header (32 bytes), code (12 bytes), little-endian.
printf '%b' \
    '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
    '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
    '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
    '\x00\x00\x00\x00' \
    '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
    '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
    '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
rc=$?
[ "$rc" = 42 ] && answer 0 "runs 32-bit programs"
answer 1 "refused (the probe's exit code was $rc)"
