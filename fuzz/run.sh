#!/usr/bin/env bash
# Fuzzes the archive decoder for SECONDS (default 60): builds the target with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer in build-fuzz/, makes seed archives with the test encoder from
# generated surveys, and runs libFuzzer on them. Findings land in build-fuzz/artifacts/; the
# exit status is non-zero when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=build-fuzz
jobs=${TELVORA_FUZZ_BUILD_JOBS:-2}

if [[ ! -f $build/build.ninja ]]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTELVORA_FUZZ=ON -DTELVORA_BUILD_BENCH=OFF -DTELVORA_BUILD_GUI=OFF -DTELVORA_WERROR=OFF \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
fi
cmake --build "$build" -j "$jobs" --target lcmp_fuzz lcmp-testenc telvora-lasgen

seeds=$build/seeds
corpus=$build/corpus
mkdir -p "$seeds" "$corpus" "$build/artifacts"
if [[ -z $(ls -A "$seeds") ]]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    lasgen=$build/tools/telvora-lasgen/telvora-lasgen
    testenc=$build/tests/lcmp/encoder/lcmp-testenc
    n=0
    for format in 0 1 2 3; do
        for points in 1 5 300 1500; do
            las=$work/f${format}p${points}.las
            "$lasgen" --format "$format" --points "$points" --seed $((format * 7 + points)) \
                --vlrs $((points % 3)) "$las" >/dev/null
            for mode in L V O; do
                "$testenc" --mode "$mode" "$seeds/seed-$((n++)).lcmp" "$las" >/dev/null
            done
        done
        las=$work/extra$format.las
        "$lasgen" --format "$format" --points 200 --extra-bytes 3 "$las" >/dev/null
        "$testenc" --mode O "$seeds/seed-$((n++)).lcmp" "$las" >/dev/null
        "$testenc" --noisy-bit-fields "$seeds/seed-$((n++)).lcmp" "$work/f${format}p300.las" >/dev/null
        "$testenc" --padded-values "$seeds/seed-$((n++)).lcmp" "$work/f${format}p300.las" >/dev/null
    done
    # Several entries in one archive.
    "$testenc" "$seeds/seed-$((n++)).lcmp" "$work/f0p5.las" "$work/f3p5.las" "$work/f1p300.las" >/dev/null
fi

ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$build/fuzz/lcmp_fuzz" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
    -malloc_limit_mb=1024 -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/" "$corpus" "$seeds"
