#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy: bugs, wasted work, the analyzer) over C++ sources: the files
# given, or the .cpp files of src/ tools/ tests/ that the last commit (or PARLEWICK_TIDY_BASE)
# added or changed. Needs a configured build for its compile commands (./test.sh makes one).
#     scripts/check-tidy.sh [FILE...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
tidy="$(command -v clang-tidy-14 || command -v clang-tidy || true)"
if [ -z "$tidy" ]; then
    echo "clang-tidy is missing: sudo apt-get install clang-tidy" >&2
    exit 2
fi
if [ ! -f "$PARLEWICK_BUILD/compile_commands.json" ]; then
    echo "No compile commands in $PARLEWICK_BUILD: build first (./test.sh)" >&2
    exit 2
fi

cd "$PARLEWICK_ROOT"
if [ "$#" -gt 0 ]; then
    files=("$@")
else
    base="${PARLEWICK_TIDY_BASE:-HEAD~1}"
    git rev-parse -q --verify "$base^{commit}" >/dev/null || { echo "No commit $base to compare with: nothing checked"; exit 0; }
    mapfile -t files < <(git diff --name-only --diff-filter=AM "$base" -- 'src/*.cpp' 'tools/*.cpp' 'tests/*.cpp')
fi
[ "${#files[@]}" -eq 0 ] && { echo "No C++ source changed: nothing to check"; exit 0; }
echo "clang-tidy on ${#files[@]} file(s)"
"$tidy" -p "$PARLEWICK_BUILD" --quiet "${files[@]}"
