#!/usr/bin/env bash
# Redraws docs/screenshot.png, the picture of the main window in the README, from made-up
# conversations in a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
parlewick_install_deps
parlewick_build
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
xvfb-run -a -s "-screen 0 1280x800x24" "$PARLEWICK_BUILD/bin/readme-screenshot" docs/screenshot.png
