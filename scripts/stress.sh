#!/bin/bash
# Sudden death and races: kills parlewick-cli's import, export and transfer into a backup at
# random moments and at every step of a transfer's commit, starts two imports into one new
# database at once and two transfers into one backup at once (from one data folder and from
# two), TRIALS times each (default 50), checking after each what was left and that the next run
# succeeds.
#   scripts/stress.sh [TRIALS]      STRESS_SEED=N picks the first seed (default 1);
#                                   STRESS_KINDS=import,export,transfer,writers,commit,concurrent,homes
#                                   picks the kinds.
# Failed trials are listed with what was wrong; their folders stay in the work folder.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

trials="${1:-50}"
parlewick_install_deps
if [ ! -f "$PARLEWICK_BUILD/CMakeCache.txt" ]; then
    cmake -S "$PARLEWICK_ROOT" -B "$PARLEWICK_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$PARLEWICK_BUILD" --parallel "$(nproc 2>/dev/null || echo 2)" --target \
    parlewick-cli make-kik-store make-itunes-backup stress-trial emoji_pictures kikbb_bubbles kikbb_style

bin="$PARLEWICK_BUILD/bin"
work="${STRESS_WORK:-$PARLEWICK_BUILD/stress}"
fixtures="$work-fixtures"
rm -rf "$fixtures"
mkdir -p "$fixtures"
# Big enough that a kill lands inside the work, small enough for many trials.
"$bin/make-kik-store" --chats 12 --groups 3 --messages-per-chat 150 --attachments 0.2 --seed 7 "$fixtures/source" >/dev/null
"$bin/make-kik-store" --chats 4 --groups 1 --messages-per-chat 60 --attachments 0.2 --seed 8 "$fixtures/other" >/dev/null
"$bin/make-kik-store" --chats 5 --groups 1 --messages-per-chat 80 --attachments 0.2 --seed 9 "$fixtures/third" >/dev/null
"$bin/make-itunes-backup" --format db --out "$fixtures/backup" --kik "$fixtures/other" >/dev/null

"$bin/stress-trial" --cli "$bin/parlewick-cli" --work "$work" --trials "$trials" --seed "${STRESS_SEED:-1}" \
    --kinds "${STRESS_KINDS:-import,export,transfer,writers,commit,concurrent,homes}" \
    --source "$fixtures/source" --other-source "$fixtures/other" --backup "$fixtures/backup" \
    --third-source "$fixtures/third"
