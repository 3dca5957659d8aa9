#!/bin/bash
# Installs, with apt-get, what building and testing need on a fresh Debian 12 machine: CMake,
# the mingw-w64 cross compilers (the win32 thread model for the i686 product and its tests, the
# posix one for the x86_64 tests), wine64, Xvfb and the window tools, genisoimage (a medium's CD
# image, and isoinfo to read it back), the GoogleTest sources, a free TrueType font that the font
# tests copy under a name of their own, clang-format and clang-tidy for the format check and the
# lint (.ci/run), and debootstrap, which makes the 32-bit userland of the i686 tree
# (scripts/i386-userland.sh), zlib for both mingw-w64 targets (the compressed medium files), and
# mtools and dosfstools, which write and read the diskette images of a diskette set.
# Quick when everything is already there: no index is fetched then.
#
# Only amd64 packages are asked for. The i686 tree's 32-bit Wine never comes from the host's i386
# architecture: its i386 libraries must match the versions of the host's amd64 ones, which a
# mirror whose i386 index is out of sync (or a host with newer amd64 updates) makes impossible,
# and on a kernel that runs no 32-bit program it would not start anyway. It lives in a chroot of
# one suite's main archive (consistent by construction) that scripts/i386-userland.sh prepares.
#
# apt-get update's exit status is not the verdict: an index that cannot be fetched (a mirror in
# the middle of a sync, an architecture or suite nothing here needs) is named and the set-up goes
# on; the install's own result decides, and names what could not be installed.
set -e
PACKAGES="cmake make g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32 mingw-w64-tools
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 googletest wine64 libxi6 libxcursor1
  libxcomposite1 libxrandr2 libxrender1 libxinerama1 libxfixes3 xvfb xdotool x11-apps x11-utils
  imagemagick genisoimage util-linux locales fonts-dejavu-core clang-format clang-tidy python3
  debootstrap libz-mingw-w64-dev mtools dosfstools"
SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
TRIES=3

missing_of() {
    local p out=""
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            out="$out $p"
    done
    echo "$out"
}

# Fetches the package indexes, retrying a few times when some fail (a dropped connection, a
# mirror that is being synchronised); what still fails after that is reported, not fatal.
apt_update() {
    local try out failed=""
    for try in $(seq "$TRIES"); do
        if out=$($SUDO apt-get update 2>&1); then
            return 0
        fi
        failed=$(printf '%s\n' "$out" | sed -n -E 's/^[EW]: Failed to fetch ([^ ]+) +(.*)$/\1: \2/p')
        [ "$try" -lt "$TRIES" ] && sleep $((2 * try))
    done
    echo "setup-machine: these package indexes could not be fetched (ignored; the install decides):"
    if [ -n "$failed" ]; then
        printf '%s\n' "$failed" | sed 's/^/    /'
    else
        printf '%s\n' "$out" | grep -E '^[EW]:' | sed 's/^/    /'
    fi
    return 0
}

missing=$(missing_of $PACKAGES)
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    apt_update
    log=$(mktemp)
    for try in $(seq "$TRIES"); do
        # shellcheck disable=SC2086
        $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            $missing 2>&1 | tee "$log"
        [ "${PIPESTATUS[0]}" = 0 ] && break
        # Only a download that failed half-way, or an index that was stale, is worth another try.
        grep -qE 'Failed to fetch|Unable to fetch|Hash Sum mismatch|unexpected size|Temporary failure|Could not connect|Connection failed|Could not resolve' \
            "$log" || break
        [ "$try" -lt "$TRIES" ] || break
        sleep $((3 * try))
        apt_update
        missing=$(missing_of $missing)
    done
    rm -f "$log"
    missing=$(missing_of $PACKAGES)
    if [ -n "$missing" ]; then
        echo "setup-machine: could not install:$missing" >&2
        for p in $missing; do
            reason=$(apt-get install -s --no-install-recommends "$p" 2>&1 |
                grep -E '^(E:| .*Depends:| .*but )' | head -n 3)
            [ -n "$reason" ] && printf '  %s:\n%s\n' "$p" "$(printf '%s\n' "$reason" | sed 's/^/    /')" >&2
        done
        exit 1
    fi
fi
