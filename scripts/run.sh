#!/usr/bin/env bash
# Builds everything and runs the engine on the scene the project ships.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh default
if [[ ! -x build/bin/tavrin ]]; then
  echo "The tavrin application is not part of the build yet; everything else was built."
  exit 0
fi
exec build/bin/tavrin "$@"
