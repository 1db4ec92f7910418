#!/usr/bin/env bash
# Builds everything and runs the engine on the demo the project ships.
# Extra arguments go to tavrin, e.g. -Di demo_frames 1000 or -log_level !S.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh default
# Headless until the OpenGL renderer and the mixers are part of the build.
exec build/bin/tavrin demo.zgp -P -f data/demo/ -S build/data -r none -m none "$@"
