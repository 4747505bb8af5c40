#!/usr/bin/env bash
# Checks C++ files against .clang-format with Debian 12's clang-format (14): the files given,
# or every source of src/ tools/ tests/ bench/ fuzz/. Prints the files that differ with the change
# clang-format would make, and fails if there is any.
#     scripts/check-format.sh [FILE...]
#     clang-format-14 -i FILE...     # to lay a file out
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
format="$(command -v clang-format-14 || command -v clang-format || true)"
if [ -z "$format" ]; then
    echo "clang-format is missing: sudo apt-get install clang-format" >&2
    exit 2
fi

if [ "$#" -gt 0 ]; then
    files=("$@")
else
    cd "$root"
    mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tools/*.cpp' 'tools/*.h' \
                                        'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
fi

bad=0
for file in "${files[@]}"; do
    if ! change="$("$format" --style=file "$file" | diff -u --label "$file" --label "$file (formatted)" "$file" -)"; then
        printf '%s\n' "$change"
        bad=$((bad + 1))
    fi
done
if [ "$bad" -gt 0 ]; then
    echo "$bad of ${#files[@]} files are not laid out as .clang-format says (clang-format-14 -i FILE... fixes them)." >&2
    exit 1
fi
echo "${#files[@]} files laid out as .clang-format says."
