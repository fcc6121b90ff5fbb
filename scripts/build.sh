#!/usr/bin/env bash
# Configures (once) and builds Telvora in Release into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${TELVORA_BUILD_DIR:-build}
if [[ ! -f "$build_dir/build.ninja" ]]; then
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
fi
cmake --build "$build_dir" -j "$(nproc)"
