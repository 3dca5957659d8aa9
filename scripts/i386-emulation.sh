#!/bin/bash
# Runs a command so that 32-bit x86 programs start even where the kernel refuses them.
#   scripts/i386-emulation.sh <command> [arguments...]
# Some kernels are built or booted without IA-32 support ("32-bit emulation disabled" in the
# kernel log: every execve of an i386 program fails with ENOEXEC), and then 32-bit Wine cannot
# start. Where that is so and qemu's user-mode emulator is installed (Debian's qemu-user), the
# command runs in a user and mount namespace of its own with a private binfmt_misc instance (Linux
# 6.7 and later) in which i386 programs start through qemu-i386. Nothing outside the namespace
# changes, and no other process sees the registration. Where i386 programs run natively, the
# command runs as it is.
#
# The emulation is faithful but slow: every 32-bit program runs on a translated CPU, and a Wine
# process takes tens of seconds to start. Give the tests of build/i686 time to match
# (TARVO_TIMEOUT_SCALE when the tree is configured) and run a few at a time.
set -e
[ $# -gt 0 ] || { echo "usage: $0 <command> [arguments...]" >&2; exit 2; }
WINE32=/usr/lib/wine/wine

if [ -n "${TARVO_IN_I386_EMULATION:-}" ] || "$WINE32" --version >/dev/null 2>&1; then
    exec "$@"
fi
QEMU=$(command -v qemu-i386 || true)
if [ -z "$QEMU" ]; then
    echo "i386-emulation: this kernel runs no 32-bit programs and qemu-i386 is missing" \
        "(apt-get install qemu-user)" >&2
    exit 77
fi

# The ELF header of an i386 executable or shared object (class 32-bit, little-endian, machine 3),
# with the mask Debian's own qemu registration uses. Flag F opens the emulator now, so that it is
# found from inside any later mount or root.
MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
export TARVO_IN_I386_EMULATION=1
exec unshare --user --map-root-user --mount --propagation private -- /bin/bash -c '
    set -e
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    printf "%s" ":tarvo-i386:M::$1:$2:$3:F" >/proc/sys/fs/binfmt_misc/register
    shift 3
    exec "$@"' tarvo-i386 "$MAGIC" "$MASK" "$QEMU" "$@"
