#!/bin/bash
# Builds the x86_64 target and runs a benchmark program once under the Wine wrapper.
#   tests/bench/run.sh [program-version] [arguments...]
#   tests/bench/run.sh core_bench-win2k            (all of its benchmarks)
#   tests/bench/run.sh core_bench-win2k copy       (one of them)
set -e
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD="$ROOT/build/x86_64"
PROGRAM=${1:-core_bench-win2k}
shift || true
"$ROOT/scripts/build.sh" >/dev/null
exec "$BUILD/wine-run" "$BUILD/tests/bin/$PROGRAM.exe" "$@"
