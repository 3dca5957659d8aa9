#!/bin/bash
# The 32-bit Wine that the i686 tree runs under, on any machine of this kind.
#   scripts/i386-userland.sh prepare          make sure it is there (once; later runs reuse it)
#   scripts/i386-userland.sh run <command...> run a command that starts 32-bit Wine programs
#   scripts/i386-userland.sh mode             print how 32-bit programs run here: "host" (the
#                                             host's own 32-bit Wine), "chroot" (the userland
#                                             below, on a kernel that runs 32-bit code) or
#                                             "chroot+qemu" (the same on an emulated CPU)
#
# The userland is a chroot of the host suite's main archive (debootstrap, amd64, then the i386
# architecture inside it), so its amd64 and i386 packages always match, whatever state the
# host's own indexes are in: Wine (32-bit and 64-bit; the 32-bit programs talk to the native
# 64-bit wineserver), the X libraries of both architectures, CMake for ctest and the tools the
# test scripts call. It is kept with a 32-bit prefix made once (the template that wine-run
# copies instead of running wineboot) in a cache folder outside the work tree:
#   TARVO_I386_CACHE (default: /var/cache/tarvo-i386)
#
# Where the kernel refuses 32-bit programs (scripts/kernel-runs-i386.sh), they run on an emulated
# CPU: qemu's user-mode emulator, registered for i386 ELF programs in a private binfmt_misc
# instance of a user and mount namespace of the command's own (Linux 6.7 or later), so nothing
# outside sees the registration. The emulator must be qemu 9 or newer: Debian 12's qemu 7.2
# spends about a minute of CPU starting each Wine process. qemu-user from the suite's backports
# (or the next release) is fetched into the cache with apt lists of the cache's own, without
# touching the host's apt set-up. TARVO_I386=emulate takes that way on any kernel.
#
# The work tree is mounted at its own path inside the chroot, with /proc, /sys, /dev and /tmp (the
# X display's socket), so build trees and test paths are the same inside and out. Needs root
# (debootstrap and chroot); the command runs as root inside.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
CACHE=${TARVO_I386_CACHE:-/var/cache/tarvo-i386}
CHROOT="$CACHE/root"
QEMU_DIR="$CACHE/qemu"
TEMPLATE_IN_CHROOT=/var/cache/tarvo/prefix-win32
CHROOT_PACKAGES="wine wine32:i386 wine64 libxi6 libxi6:i386 libxcursor1 libxcursor1:i386
  libxcomposite1 libxcomposite1:i386 libxrandr2 libxrandr2:i386 libxrender1 libxrender1:i386
  libxinerama1 libxinerama1:i386 libxfixes3 libxfixes3:i386 cmake locales genisoimage xdotool
  x11-utils imagemagick python3 fonts-dejavu-core binutils-mingw-w64-i686 procps mtools"
# The version of this file's userland: a change of the package list above makes a new one.
USERLAND_VERSION=$(printf '%s\n' "$CHROOT_PACKAGES" | cksum | cut -d' ' -f1)

say() { echo "i386-userland: $*" >&2; }
die() {
    say "$*"
    exit 1
}
usage() {
    sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

[ "$(id -u)" = 0 ] || exec sudo -E "$0" "$@"

host_wine32_runs() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
emulating() { ! "$ROOT/scripts/kernel-runs-i386.sh"; }

mode() {
    if [ "${TARVO_I386:-}" != emulate ] && host_wine32_runs; then
        echo host
    elif emulating; then
        echo chroot+qemu
    else
        echo chroot
    fi
}

suite() {
    local codename
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    echo "${codename:-bookworm}"
}

# The Debian archive the host's apt uses (the one that serves the suite's main component).
mirror() {
    local uri
    uri=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' \
        'Created-By: Packages' 2>/dev/null | awk -v s="$(suite)" '$2 == s && $3 == "main" {
            print $1; exit }')
    echo "${uri:-http://deb.debian.org/debian/}"
}

# Runs a command a few times while it fails (downloads from a mirror that is being synced).
retry() {
    local try
    for try in 1 2 3; do
        "$@" && return 0
        [ "$try" = 3 ] || sleep $((5 * try))
    done
    return 1
}

# qemu-i386 of a version that is fast enough, into the cache.
fetch_qemu() {
    local bin="$QEMU_DIR/usr/bin/qemu-i386" apt suite_name deb
    if [ -x "$bin" ]; then echo "$bin"; return 0; fi
    say "fetching qemu-user (qemu 9 or newer) into $QEMU_DIR"
    apt="$QEMU_DIR/apt"
    rm -rf "$QEMU_DIR"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/debs"
    for suite_name in "$(suite)-backports" trixie; do
        echo "deb $(mirror) $suite_name main" >"$apt/sources.list"
        local opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
            -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o APT::Architectures::=amd64
            -o Debug::NoLocking=1 -qq)
        retry apt-get "${opts[@]}" update >/dev/null 2>&1 || continue
        (cd "$apt/debs" && retry apt-get "${opts[@]}" download "qemu-user/$suite_name") \
            >/dev/null 2>&1 || continue
        deb=$(ls "$apt/debs"/qemu-user_*.deb 2>/dev/null | head -n 1)
        [ -n "$deb" ] || continue
        dpkg-deb -x "$deb" "$QEMU_DIR"
        local major
        major=$("$bin" --version 2>/dev/null | sed -n -E 's/^qemu-i386 version ([0-9]+)\..*/\1/p')
        if [ -n "$major" ] && [ "$major" -ge 9 ]; then
            rm -rf "$apt"
            say "qemu-i386 $("$bin" --version | head -n 1 | sed 's/.*version //') from $suite_name"
            echo "$bin"
            return 0
        fi
        rm -rf "$QEMU_DIR/usr"
    done
    die "could not fetch qemu-user 9 or newer from $(mirror) (tried $(suite)-backports and trixie)"
}

# Enters the userland and runs "$@" there: a mount namespace of its own with the host's /proc,
# /sys, /dev, /tmp and the work tree bound in; with the emulator also a user namespace whose
# private binfmt_misc sends i386 ELF programs to qemu-i386 (flag F: the emulator's file is opened
# at registration, so it is found from inside the chroot).
enter() {
    local qemu=""
    if emulating; then qemu=$(fetch_qemu); fi
    local ns=(--mount --propagation private)
    [ -n "$qemu" ] && ns=(--user --map-root-user "${ns[@]}")
    # The ELF header of an i386 executable or shared object (class 32-bit, little-endian,
    # machine 3), with the mask Debian's own qemu registration uses.
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    TARVO_IN_I386_USERLAND=1 unshare "${ns[@]}" -- /bin/bash -c '
        set -e
        root=$1 qemu=$2 work=$3 magic=$4 mask=$5
        shift 5
        if [ -n "$qemu" ]; then
            mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
            printf "%s" ":tarvo-i386:M::$magic:$mask:$qemu:F" >/proc/sys/fs/binfmt_misc/register
        fi
        for d in proc sys dev tmp; do mount --rbind "/$d" "$root/$d"; done
        mkdir -p "$root$work"
        mount --rbind "$work" "$root$work"
        cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
        exec chroot "$root" /usr/bin/env PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin \
            HOME=/root /bin/bash -c "cd \"\$1\" 2>/dev/null || cd /; shift; exec \"\$@\"" - "$PWD" "$@"
    ' tarvo-i386 "$CHROOT" "$qemu" "$ROOT" "$magic" "$mask" "$@"
}

make_chroot() {
    local mirror_uri new="$CACHE/root.new"
    mirror_uri=$(mirror)
    command -v debootstrap >/dev/null || die "debootstrap is missing (scripts/setup-machine.sh installs it)"
    say "making the 32-bit userland in $CHROOT ($(suite) main from $mirror_uri; a few minutes)"
    rm -rf "$new"
    retry debootstrap --variant=minbase --arch=amd64 "$(suite)" "$new" "$mirror_uri" \
        >"$CACHE/debootstrap.log" 2>&1 ||
        die "debootstrap failed (see $CACHE/debootstrap.log)"
    echo "deb $mirror_uri $(suite) main" >"$new/etc/apt/sources.list"
    cp /etc/resolv.conf "$new/etc/resolv.conf" 2>/dev/null || true
    # Installing runs no 32-bit program (maintainer scripts and triggers are the amd64 ones), so
    # this needs no emulator; it runs as the real root, so that dpkg can give files their owners.
    unshare --mount --propagation private -- /bin/bash -c '
        set -e
        root=$1; shift
        for d in proc sys dev; do mount --rbind "/$d" "$root/$d"; done
        exec chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin:/usr/sbin:/sbin HOME=/root \
            DEBIAN_FRONTEND=noninteractive /bin/bash -c "
                set -e
                dpkg --add-architecture i386
                for try in 1 2 3; do apt-get update -qq && break; sleep \$((5 * try)); done
                for try in 1 2 3; do
                    apt-get install -y -qq --no-install-recommends $* && exit 0
                    sleep \$((5 * try)); apt-get update -qq || true
                done
                exit 1"
    ' tarvo-i386 "$new" $CHROOT_PACKAGES >"$CACHE/install.log" 2>&1 ||
        die "installing Wine into the userland failed (see $CACHE/install.log)"
    rm -rf "$new/var/cache/apt/archives"/*.deb
    rm -rf "$CHROOT"
    mv "$new" "$CHROOT"
    echo "$USERLAND_VERSION" >"$CHROOT/.tarvo-userland"
}

# The 32-bit prefix that wine-run copies into a build tree instead of initialising one: Wine's
# own set-up is the expensive part (over a minute of CPU on an emulated CPU).
make_template() {
    say "making the 32-bit prefix template (once)"
    rm -rf "$CHROOT$TEMPLATE_IN_CHROOT"
    mkdir -p "$CHROOT$(dirname "$TEMPLATE_IN_CHROOT")"
    enter /bin/bash -c '
        export WINEPREFIX=$1 WINEARCH=win32 WINEDEBUG=-all
        export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
        /usr/lib/wine/wine wineboot -i </dev/null >/dev/null 2>&1 || true
        /usr/lib/wine/wineserver -w
        [ -f "$WINEPREFIX/system.reg" ] && [ -d "$WINEPREFIX/drive_c/windows" ]
    ' - "$TEMPLATE_IN_CHROOT" || die "the 32-bit prefix could not be made"
    touch "$CHROOT$TEMPLATE_IN_CHROOT/.tarvo-template"
}

prepare() {
    local start=$SECONDS
    mkdir -p "$CACHE"
    (
        flock 9
        if [ "$(cat "$CHROOT/.tarvo-userland" 2>/dev/null)" != "$USERLAND_VERSION" ]; then
            make_chroot
        fi
        if emulating; then fetch_qemu >/dev/null; fi
        [ -f "$CHROOT$TEMPLATE_IN_CHROOT/.tarvo-template" ] || make_template
    ) 9>"$CACHE/.lock"
    say "ready ($(mode); $((SECONDS - start)) s)"
}

[ $# -gt 0 ] || usage
case "$1" in
    mode) mode ;;
    prepare) prepare ;;
    run)
        shift
        [ $# -gt 0 ] || usage
        if [ "$(mode)" = host ] || [ -n "${TARVO_IN_I386_USERLAND:-}" ]; then exec "$@"; fi
        prepare
        export TARVO_PREFIX_TEMPLATE="$TEMPLATE_IN_CHROOT"
        [ "$(mode)" = chroot+qemu ] && export TARVO_EMULATED_CPU=1
        enter "$@"
        ;;
    *) usage ;;
esac
