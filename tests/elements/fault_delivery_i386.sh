#!/bin/bash
# What a hardware fault of 32-bit code hands its signal handler, natively and on the emulated CPU
# (qemu's user-mode emulator, as scripts/i386-userland.sh keeps it): the trap number from which
# Wine makes the exception code, and the direction flag. A table of what each run saw; fails when
# the native run is wrong (the kernel's side) or a handler never ran, and skips (77) where
# neither a 32-bit program nor the emulator can run here.
#   fault_delivery_i386.sh <host C compiler> <work folder>
set -u
CC=$1 WORK=$2
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
QEMU=${TARVO_I386_CACHE:-/var/cache/tarvo-i386}/qemu/usr/bin/qemu-i386
mkdir -p "$WORK"
FLAGS="-m32 -O2 -ffreestanding -nostdlib -static -fno-pie -no-pie -fno-stack-protector
       -fno-asynchronous-unwind-tables -Wall -Wextra -Werror -Wl,-z,noexecstack"
# shellcheck disable=SC2086
if ! "$CC" $FLAGS "$HERE/fault_delivery_i386.c" -o "$WORK/fault_delivery_i386" 2>"$WORK/cc.log"; then
    echo "no 32-bit x86 programs can be built here: skipped"
    cat "$WORK/cc.log"
    exit 77
fi
runs=()
"$ROOT/scripts/kernel-runs-i386.sh" && runs+=(native)
[ -x "$QEMU" ] && runs+=(qemu)
[ ${#runs[@]} -gt 0 ] || { echo "neither native 32-bit programs nor $QEMU here: skipped"; exit 77; }
status=0
printf '%-8s %-5s %-32s %s\n' run fault "what the handler saw" "as the kernel delivers it"
for run in "${runs[@]}"; do
    for fault in av div df; do
        case $fault in av | df) expect="signal=11 trap=14 df-in-handler=0" ;;
                       div) expect="signal=8 trap=0 df-in-handler=0" ;; esac
        if [ "$run" = native ]; then
            seen=$("$WORK/fault_delivery_i386" "$fault" 2>&1)
        else
            seen=$("$QEMU" "$WORK/fault_delivery_i386" "$fault" 2>&1)
        fi
        verdict=yes
        [ "$seen" = "$expect" ] || verdict=NO
        printf '%-8s %-5s %-32s %s\n' "$run" "$fault" "$seen" "$verdict"
        # The kernel's own delivery must be right; the emulator's is measured, but its handler
        # must at least run.
        [ "$run" = native ] && [ "$verdict" = NO ] && status=1
        case "$seen" in signal=*) ;; *) status=1 ;; esac
    done
done
[ -x "$QEMU" ] && echo "emulator: $("$QEMU" --version | head -n 1)"
exit "$status"
