#!/usr/bin/env bash
# Sets up a Debian 12 machine (missing packages), builds into build/ and runs every test.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
parlewick_install_deps
parlewick_build
cd "$PARLEWICK_BUILD"
ctest --output-on-failure --parallel "$(nproc 2>/dev/null || echo 2)" "$@"
