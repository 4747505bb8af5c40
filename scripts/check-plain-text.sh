#!/bin/bash
# Below the window, texts are plain: lines separated by "\n", no markup and no escapes. The
# window (ui, widgets) and the pages (views) add their own. Prints every string in a lower
# layer that holds markup or an HTML escape, and every toHtmlEscaped there; fails when there is one.
set -euo pipefail
src="${1:-$(dirname "$0")/../src}"

# The files that handle HTML itself: the one escaper (for the pages and the window), the error
# report that turns a box's text back into plain text, and the advertisement the server sends.
allowed='^(app/FileUtils\.cpp|app/ErrorReport\.cpp|app/VendorHost\.cpp):'

found=$(cd "$src" && grep -rnE '"[^"]*(<br|<a |<img|<b>|<p>|&lt;|&gt;|&amp;|&quot;)|toHtmlEscaped' \
    app db plist device kik itunes workers flows cli | grep -vE "$allowed" || true)
if [[ -n "$found" ]]; then
    echo "$found"
    exit 1
fi
