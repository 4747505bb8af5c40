#!/usr/bin/env bash
# Sets up a Debian 12 machine (missing packages), builds into build/ and starts Parlewick.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
parlewick_install_deps
parlewick_build

app="$PARLEWICK_BUILD/bin/parlewick"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found. Start Parlewick in a virtual display with:"
    echo "  xvfb-run -a $app"
    echo "or without any window at all with:"
    echo "  QT_QPA_PLATFORM=offscreen $app"
    exit 0
fi
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
exec "$app" "$@"
