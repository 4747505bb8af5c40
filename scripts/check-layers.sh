#!/bin/bash
# Each folder of src/ may include only from the folders below it (docs/architecture.md).
# Prints every include that points up or sideways and fails when there is one.
set -euo pipefail
src="${1:-$(dirname "$0")/../src}"

declare -A allowed=(
    [app]="app"
    [db]="app db"
    [plist]="app plist"
    [device]="app plist device"
    [kik]="app db plist kik"
    [itunes]="app db plist device itunes"
    [views]="app db plist device kik itunes views"
    [workers]="app db plist device kik itunes views workers"
    [flows]="app db plist device kik itunes views workers flows"
    [widgets]="app db plist device kik itunes views widgets"
    [ui]="app db plist device kik itunes views workers flows widgets ui"
    [cli]="app db plist device kik itunes views workers flows cli"
)

bad=0
for dir in "$src"/*/; do
    layer=$(basename "$dir")
    if [[ -z "${allowed[$layer]+x}" ]]; then
        echo "src/$layer: a folder without a place in the layers"
        bad=1
        continue
    fi
    while IFS=: read -r file line text; do
        target=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$text")
        if [[ " ${allowed[$layer]} " != *" $target "* ]]; then
            echo "${file#"$src"/}:$line: $layer includes $target"
            bad=1
        fi
    done < <(grep -rnE '^#include "[a-z]+/' "$dir" || true)
done
exit $bad
