#!/bin/bash
# Fails (and names the files) when clang-format, with the tree's .clang-format, would change any
# C or C++ file under version control. `scripts/check-format.sh --fix` formats them instead.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
CLANG_FORMAT=${CLANG_FORMAT:-clang-format}
mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h')
if [ "$1" = --fix ]; then
    printf '%s\0' "${files[@]}" | xargs -0 "$CLANG_FORMAT" -i
    exit 0
fi
# One run over every file; each place it would change is reported as "<file>:<line>:<col>: error".
report=$(printf '%s\0' "${files[@]}" | xargs -0 "$CLANG_FORMAT" --dry-run --Werror 2>&1 >/dev/null) ||
    true
bad=$(printf '%s\n' "$report" | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*/\1/p' | sort -u)
if [ -n "$bad" ] || [ -n "$report" ]; then
    echo "clang-format would change these files (scripts/check-format.sh --fix):"
    if [ -n "$bad" ]; then printf '%s\n' "$bad" | sed 's/^/    /'; else printf '%s\n' "$report"; fi
    exit 1
fi
echo "format: ${#files[@]} files as clang-format leaves them"
