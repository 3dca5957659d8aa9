#!/bin/bash
# Configures and builds both targets: build/i686 (the product, and its tests built the same way)
# and build/x86_64 (the same sources and tests for wine64).
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
JOBS=${JOBS:-$(nproc)}
# The product is optimised for size (a loader travels on diskettes); the test build for speed.
for arch in i686 x86_64; do
    dir="$ROOT/build/$arch"
    type=Release
    [ "$arch" = i686 ] && type=MinSizeRel
    cmake -S "$ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=$type >/dev/null
    cmake --build "$dir" -j "$JOBS"
done
