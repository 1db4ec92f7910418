#!/usr/bin/env bash
# Builds everything and runs the engine on the demo the project ships, with the
# default renderer and mixer ("-r gl2 -m al"). Without a display the renderer
# draws off screen and says so. Extra arguments go to tavrin, e.g.
# -Di demo_frames 1000, -Di demo_interactive 1, -r none or -log_level !S.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh default
tavrin=build/bin/tavrin
mixer=()
# With no OpenAL device to open (a headless machine, a container) the demo
# still runs, silent, rather than failing set-up: the probe asks tavrin to open
# the default mixer over no scene at all. An -m of the caller's own is kept.
if [[ " $* " != *" -m "* ]]; then
  probe=$("$tavrin" no-scene.zms -r none -m al -log_level '!' 2>&1 || true)
  if [[ "$probe" == *"Failed to open the audio output"* ]]; then
    echo "run.sh: no audio device can be opened; running the demo without sound (-m none)."
    mixer=(-m none)
  fi
fi
exec "$tavrin" demo.zgp -P -f data/demo/ -S build/data "${mixer[@]}" "$@"
