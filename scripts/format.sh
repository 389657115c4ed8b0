#!/usr/bin/env bash
# Applies the repository's .clang-format to the screens' code, or with
# --check only reports the files that differ (the test suite runs that).
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
FORMATTER="${CLANG_FORMAT:-clang-format-16}"
FOLDERS=(views viewmodels app)

if ! command -v "$FORMATTER" >/dev/null; then
    echo "$FORMATTER is missing: run scripts/dev.sh test once to install it" >&2
    exit 1
fi

cd "$ROOT"
mapfile -t files < <(find "${FOLDERS[@]}" -name '*.cpp' -o -name '*.h' | sort)

if [ "${1:-}" = "--check" ]; then
    if ! "$FORMATTER" --dry-run --Werror --ferror-limit=1 "${files[@]}"; then
        echo "run scripts/format.sh to format the files named above" >&2
        exit 1
    fi
    exit 0
fi

"$FORMATTER" -i "${files[@]}"
