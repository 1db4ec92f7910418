#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and runs with.
# Idempotent: asks dpkg first and only touches apt when something is missing.
set -euo pipefail

packages=(
  # build tools
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libbullet-dev valgrind
  # benchmarks only, never linked by the engine: the ray tracer's reference
  libembree-dev
  # libraries the engine links
  zlib1g-dev libjpeg62-turbo-dev libfreetype-dev libmad0-dev libstb-dev libmpeg2-4-dev
  libopenal-dev libsdl2-dev
  # the 2D interface ships DejaVu Sans as its default font
  fonts-dejavu-core
  # GL through Mesa, and a virtual display for windowed tests
  libgl-dev libegl-dev libgl1-mesa-dri xvfb xauth
  # benchmarks only: bench/squirrel/run times Lua 5.4 beside our sq
  lua5.4
)

missing=()
for pkg in "${packages[@]}"; do
  # dpkg-query also lists known but uninstalled packages with exit 0: check the status.
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "ii "* ]] || missing+=("$pkg")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
