#!/usr/bin/env bash
# scripts/fuzz.sh [TARGET] [SECONDS]: builds the fuzz targets of fuzz/ with clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer into build-fuzz/ (or PARLEWICK_FUZZ_BUILD_DIR)
# and fuzzes one target, or each in turn, for SECONDS (default 60) each.
#
# Each run starts from the committed seeds and reproducers in fuzz/corpus/<target> and from the
# inputs earlier runs found, which are kept in build-fuzz/corpus/<target> (not committed).
# A crash, a failed check, a leak or a hang is saved as build-fuzz/crashes/<target>/...; once
# fixed, copy that file into fuzz/corpus/<target>/ so that TestFuzzReplay guards the fix.
# Replay one input: build-fuzz/bin/fuzz-<target> FILE.
set -euo pipefail
source "$(dirname "$0")/common.sh"
parlewick_install_deps
parlewick_install_deps "${PARLEWICK_FUZZ_PACKAGES[@]}"

corpora="$PARLEWICK_ROOT/fuzz/corpus"
targets=()
if [ $# -ge 1 ] && [ "$1" != all ]; then
    [ -d "$corpora/$1" ] || { echo "No fuzz target '$1'. Targets: $(ls "$corpora" | tr '\n' ' ')" >&2; exit 2; }
    targets=("$1")
else
    for dir in "$corpora"/*/; do targets+=("$(basename "$dir")"); done
fi
seconds="${2:-60}"

build="${PARLEWICK_FUZZ_BUILD_DIR:-$PARLEWICK_ROOT/build-fuzz}"
cmake -S "$PARLEWICK_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DPARLEWICK_SANITIZE=ON -DPARLEWICK_FUZZ=ON >/dev/null
cmake --build "$build" --parallel "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]/#/fuzz-}"

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
failed=()
for target in "${targets[@]}"; do
    mkdir -p "$build/corpus/$target" "$build/crashes/$target" "$build/logs"
    log="$build/logs/$target.log"
    echo "== $target: $seconds s (log: $log)"
    if "$build/bin/fuzz-$target" "$build/corpus/$target" "$corpora/$target" \
        -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/crashes/$target/" >"$log" 2>&1; then
        grep -E "stat::number_of_executed_units|stat::new_units_added" "$log" || true
    else
        failed+=("$target")
        grep -E "^==[0-9]+==ERROR|SUMMARY|Test unit written to|runtime error" "$log" | head -5
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "Findings in: ${failed[*]} (inputs in $build/crashes/)" >&2
    exit 1
fi
