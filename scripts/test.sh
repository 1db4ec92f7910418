#!/usr/bin/env bash
# Builds a preset (default: "default") and runs its whole test suite, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
./scripts/build.sh "$preset"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null
ctest --preset "$preset"
