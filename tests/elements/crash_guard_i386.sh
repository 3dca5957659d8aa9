#!/bin/bash
# Runs the i686 crash guard's assembly natively as a Linux i386 program, under a stand-in for the
# platform's exception dispatch and RtlUnwind (crash_guard_i386.c): the product's 32-bit code
# cannot run under wine64. Exits 77 (skipped) where no 32-bit program can be built or run.
#   crash_guard_i386.sh <host C compiler> <crash_guard.cpp> <work folder>
set -e
CC=$1 SOURCE=$2 WORK=$3
HERE=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$WORK"
# The assembly is the first raw-string asm block of the source. COFF symbol records mean
# nothing to ELF, and "@" would name a symbol version there.
awk '/^asm\(R"\($/ { on = 1; next } on && /^\)"\);$/ { exit } on { print }' "$SOURCE" |
    sed -e '/\.def .*\.endef/d' -e 's/_RtlUnwind@16/_RtlUnwind_16/g' >"$WORK/guard.s"
if ! grep -q '^_TarvoGuardedCall:' "$WORK/guard.s"; then
    echo "no i686 guard assembly found in $SOURCE" >&2
    exit 1
fi
FLAGS="-m32 -O2 -ffreestanding -nostdlib -static -fno-pie -no-pie -fno-stack-protector
       -fno-asynchronous-unwind-tables -Wall -Wextra -Werror -Wl,-z,noexecstack"
printf '.globl _start\n_start: movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$WORK/probe.s"
# shellcheck disable=SC2086
if ! "$CC" $FLAGS "$WORK/probe.s" -o "$WORK/probe" 2>/dev/null || ! "$WORK/probe" 2>/dev/null; then
    echo "no 32-bit x86 programs here: skipped"
    exit 77
fi
# shellcheck disable=SC2086
"$CC" $FLAGS "$HERE/crash_guard_i386.c" "$WORK/guard.s" -o "$WORK/crash_guard_i386"
"$WORK/crash_guard_i386"
