#!/bin/bash
# Builds both targets and runs a benchmark program of one tree once under its Wine wrapper.
#   tests/bench/run.sh [program-version] [arguments...]
#   tests/bench/run.sh core_bench-win2k            (all of its benchmarks, x86_64 under wine64)
#   tests/bench/run.sh core_bench-win2k copy       (one of them)
#   TARVO_TREE=i686 tests/bench/run.sh core_bench-nt40   (the product build under 32-bit Wine)
set -e
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD="$ROOT/build/${TARVO_TREE:-x86_64}"
PROGRAM=${1:-core_bench-win2k}
shift || true
"$ROOT/scripts/build.sh" >/dev/null
exec "$BUILD/wine-run" "$BUILD/tests/bin/$PROGRAM.exe" "$@"
