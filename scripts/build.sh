#!/usr/bin/env bash
# Installs what is missing, configures and builds one preset (default: "default").
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
./scripts/install-deps.sh
# CMake's warnings and errors (on stderr) always show. Of its status lines only
# those saying something was not found or is switched off are shown (OpenMP
# missing, a package absent); the compiler probes and the "Found" lines are not.
cmake --preset "$preset" |
  { grep -iE 'not found|could not|warning|notice|disabled|without|serial' |
      grep -vE '^-- (Performing Test|Looking for)' || true; }
cmake --build --preset "$preset"
