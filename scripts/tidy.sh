#!/bin/bash
# clang-tidy (the checks of .clang-tidy) over the product's sources as the i686 product build
# compiles them: the compile commands of build/i686 (configured here when missing), read by
# clang for the same mingw target, with the cross compiler's C++ library headers. Fails on any
# finding. Runs one clang-tidy per core (JOBS).
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$ROOT/build/i686"
CLANG_TIDY=${CLANG_TIDY:-clang-tidy}
JOBS=${JOBS:-$(nproc)}
if [ ! -f "$BUILD/compile_commands.json" ]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i686.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
fi
# The product's own sources: the setup library, the plug-in, the loader and the engine.
mapfile -t sources < <(python3 - "$BUILD/compile_commands.json" "$ROOT" <<'PY'
import json, os, sys
root = sys.argv[2] + os.sep
for entry in json.load(open(sys.argv[1])):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    if path.startswith(root) and path[len(root):].split(os.sep)[0] in ("setup", "plugin", "loader", "engine"):
        print(path)
PY
)
# clang finds the mingw headers from the target; the C++ library headers are the cross
# compiler's (the ones its own search list names).
# The compiler's own warnings are gcc's business (the build keeps them errors): clang's differ
# (it would report the binary interface's unused layout fields, for one) and stay off.
extra=(--extra-arg=--target=i686-w64-mingw32 --extra-arg=-Wno-error)
while read -r dir; do
    case "$dir" in */include/c++*) extra+=("--extra-arg=-isystem$dir") ;; esac
done < <(echo | i686-w64-mingw32-g++-win32 -xc++ -E -v - 2>&1 |
         sed -n '/#include <...> search starts here:/,/End of search list./p' | sed 's/^ //')
printf '%s\0' $(printf '%s\n' "${sources[@]}" | sort -u) |
    xargs -0 -P "$JOBS" -n 4 "$CLANG_TIDY" -p "$BUILD" --quiet "${extra[@]}" 2>/dev/null
echo "clang-tidy: ${#sources[@]} product sources without findings"
