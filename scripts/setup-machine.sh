#!/bin/bash
# Installs, with apt-get, what building and testing need on a fresh Debian 12 machine: CMake,
# the mingw-w64 cross compilers (the win32 thread model for the i686 product and its tests, the
# posix one for the x86_64 tests), wine64 and the 32-bit Wine (wine32, from the i386
# architecture, which is added when missing), Xvfb and the window tools, genisoimage (a medium's
# CD image, and isoinfo to read it back), the GoogleTest sources, a free TrueType font that the
# font tests copy under a name of their own, and clang-format and clang-tidy for the format check
# and the lint (.ci/run). Quick when everything is already there.
set -e
PACKAGES="cmake make g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32 mingw-w64-tools
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 googletest wine64 libxi6 libxcursor1
  libxcomposite1 libxrandr2 libxrender1 libxinerama1 libxfixes3 xvfb xdotool x11-apps x11-utils
  imagemagick genisoimage util-linux locales fonts-dejavu-core clang-format clang-tidy python3
  wine32:i386"
SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
# wine32 comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture (for wine32)"
    $SUDO dpkg --add-architecture i386
fi
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
# A kernel without IA-32 support runs no 32-bit program, 32-bit Wine included; the tests of the
# i686 tree can then run only on an emulated CPU (scripts/i386-emulation.sh), which needs qemu's
# user-mode emulator.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 && ! command -v qemu-i386 >/dev/null 2>&1; then
    echo "Installing qemu-user (this kernel runs no 32-bit programs)"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends qemu-user
fi
