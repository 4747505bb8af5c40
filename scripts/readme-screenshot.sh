#!/usr/bin/env bash
# Redraws docs/screenshot.png and docs/screenshot-dark.png, the pictures of the main window in
# the README in the light and the dark theme, from made-up conversations in a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
parlewick_install_deps
parlewick_build readme-screenshot
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
xvfb-run -a -s "-screen 0 1280x800x24" "$PARLEWICK_BUILD/bin/readme-screenshot" docs/screenshot.png
xvfb-run -a -s "-screen 0 1280x800x24" "$PARLEWICK_BUILD/bin/readme-screenshot" --dark docs/screenshot-dark.png
