#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ (or
# PARLEWICK_ASAN_BUILD_DIR) and runs the whole ctest suite under them. Extra arguments go to ctest.
set -euo pipefail
source "$(dirname "$0")/common.sh"
parlewick_install_deps
build="${PARLEWICK_ASAN_BUILD_DIR:-$PARLEWICK_ROOT/build-asan}"
jobs="$(nproc 2>/dev/null || echo 2)"
cmake -S "$PARLEWICK_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARLEWICK_SANITIZE=ON
# Tools built here also run during the build; their leaks are no finding of the suite.
ASAN_OPTIONS=detect_leaks=0 cmake --build "$build" --parallel "$jobs"

# The first finding ends the process with a report. Leaks are checked, except those the
# suppression file names: memory that libraries outside the program keep for good; the stacks
# of allocations are taken whole, so that they show those libraries. Sized deletes are not
# checked: the web engine's own code frees with a base type's size, which is none of ours.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:fast_unwind_on_malloc=0:new_delete_type_mismatch=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$PARLEWICK_ROOT/scripts/lsan.supp:print_suppressions=0"
cd "$build"
ctest --output-on-failure --parallel "$jobs" "$@"
