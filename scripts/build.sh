#!/usr/bin/env bash
# Configures and builds Telvora into build/ (or $TELVORA_BUILD_DIR), in Release unless told
# otherwise. Arguments are cache settings (-DNAME=VALUE) the build must have: the folder is
# configured again whenever one of them differs from what its cache holds, so that an earlier
# choice (tests switched off, say) cannot linger. Without arguments, or when the cache already
# agrees, an existing folder is only built.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${TELVORA_BUILD_DIR:-build}
cache=$build_dir/CMakeCache.txt

# Whether the cache holds every -DNAME=VALUE (or -DNAME:TYPE=VALUE) given.
cache_agrees() {
    local setting name value line
    for setting in "$@"; do
        [[ $setting == -D*=* ]] || return 1
        name=${setting#-D}
        name=${name%%=*}
        name=${name%%:*}
        value=${setting#*=}
        line=$(grep -m1 "^${name}:" "$cache") || return 1
        [[ ${line#*=} == "$value" ]] || return 1
    done
}

if [[ ! -f "$build_dir/build.ninja" || ! -f "$cache" ]]; then
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
elif ! cache_agrees "$@"; then
    cmake -S . -B "$build_dir" "$@"
fi
cmake --build "$build_dir" -j "$(nproc)"
