#!/usr/bin/env bash
# Refreshes docs/demo.png, the demo screenshot the README shows: runs the demo
# headless (./run-demo.sh --screenshot) and stores its PNG small (no metadata,
# the strongest compression). Run it when the demo changes, then commit it.
set -euo pipefail
cd "$(dirname "$0")/.."
shot=build/demo-screenshot.png
./run-demo.sh --screenshot "$shot"
mkdir -p docs
convert "$shot" -strip -define png:compression-level=9 -define png:compression-filter=5 docs/demo.png
echo "docs/demo.png: $(stat -c %s docs/demo.png) bytes"
