#!/usr/bin/env bash
# Runs the platform and framework suites of a built preset (default:
# "default") under valgrind's memory checker. It sees what the sanitizers
# cannot: faults inside the system libraries (SDL), which are not
# instrumented. Any error it reports fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
dir=build
[[ "$preset" == default ]] || dir=build-$preset
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null
for suite in platform_tests framework_tests; do
  valgrind --quiet --error-exitcode=1 --leak-check=no "$dir/bin/$suite" --gtest_brief=1
done
