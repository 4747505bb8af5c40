#!/usr/bin/env bash
# Builds and runs the benchmarks; each prints its figure beside a baseline measured in the same run.
# PARLEWICK_BENCH=NAME builds and runs only bench_NAME (for example PARLEWICK_BENCH=device_backup).
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
parlewick_install_deps
parlewick_build ${PARLEWICK_BENCH:+"bench_$PARLEWICK_BENCH"}
# The programs pin the time zone at start-up (local-time conversions stay fast); so do the runs here.
export TZ="${TZ:-:/etc/localtime}"
# The web view cannot use its sandbox as root.
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
for b in "$PARLEWICK_BUILD"/bin/bench_*; do
    [ -x "$b" ] || continue
    [ -n "${PARLEWICK_BENCH:-}" ] && [ "$(basename "$b")" != "bench_$PARLEWICK_BENCH" ] && continue
    echo "== $(basename "$b")"
    "$b" "$@"
done
