#!/usr/bin/env bash
# Installs what is missing, configures and builds one preset (default: "default").
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
./scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
