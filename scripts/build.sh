#!/bin/bash
# Configures and builds both targets: build/i686 (the product) and build/x86_64 (tests).
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
JOBS=${JOBS:-$(nproc)}
for arch in i686 x86_64; do
    dir="$ROOT/build/$arch"
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$arch.cmake" \
            -DCMAKE_BUILD_TYPE=Release >/dev/null
    fi
    cmake --build "$dir" -j "$JOBS"
done
