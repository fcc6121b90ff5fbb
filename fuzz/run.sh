#!/usr/bin/env bash
# Fuzzes for SECONDS each (default 60) the archive decoder (lcmp_fuzz), the LAS readers and
# reports (las_fuzz) and the point tree's insertion (tree_fuzz), or only the targets named after
# SECONDS. Builds them with clang, AddressSanitizer and UndefinedBehaviorSanitizer in
# build-fuzz/, makes seeds (archives with the test encoder and LAS files with telvora-lasgen from
# generated surveys, hand-made boxes and point runs for the tree), and runs libFuzzer on each in
# turn. Corpora grow in build-fuzz/corpus/TARGET, findings land in build-fuzz/artifacts/TARGET/;
# the exit status is non-zero when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
    targets=(lcmp_fuzz las_fuzz tree_fuzz)
fi
build=build-fuzz
jobs=${TELVORA_FUZZ_BUILD_JOBS:-2}

if [[ ! -f $build/build.ninja ]]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTELVORA_FUZZ=ON -DTELVORA_BUILD_BENCH=OFF -DTELVORA_BUILD_GUI=OFF -DTELVORA_WERROR=OFF \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
fi
cmake --build "$build" -j "$jobs" --target "${targets[@]}" lcmp-testenc telvora-lasgen

lasgen=$build/tools/telvora-lasgen/telvora-lasgen
testenc=$build/tests/lcmp/encoder/lcmp-testenc
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The same generated surveys feed the archive seeds and the LAS seeds.
surveys() {
    for format in 0 1 2 3; do
        for points in 1 5 300 1500; do
            "$lasgen" --format "$format" --points "$points" --seed $((format * 7 + points)) \
                --vlrs $((points % 3)) "$work/f${format}p${points}.las" >/dev/null
        done
        "$lasgen" --format "$format" --points 200 --extra-bytes 3 "$work/extra$format.las" \
            >/dev/null
    done
}

lcmp_seeds() {
    local seeds=$1 n=0 format points mode
    for format in 0 1 2 3; do
        for points in 1 5 300 1500; do
            for mode in L V O; do
                "$testenc" --mode "$mode" "$seeds/seed-$((n++)).lcmp" \
                    "$work/f${format}p${points}.las" >/dev/null
            done
        done
        "$testenc" --mode O "$seeds/seed-$((n++)).lcmp" "$work/extra$format.las" >/dev/null
        "$testenc" --noisy-bit-fields "$seeds/seed-$((n++)).lcmp" "$work/f${format}p300.las" >/dev/null
        "$testenc" --padded-values "$seeds/seed-$((n++)).lcmp" "$work/f${format}p300.las" >/dev/null
    done
    # Several entries in one archive.
    "$testenc" "$seeds/seed-$((n++)).lcmp" "$work/f0p5.las" "$work/f3p5.las" "$work/f1p300.las" \
        >/dev/null
}

las_seeds() {
    local seeds=$1 version
    # Small surveys only: the fuzzer reads every record of every input.
    cp "$work"/f?p1.las "$work"/f?p5.las "$work"/f?p300.las "$work"/extra?.las "$seeds/"
    for version in 1.0 1.1; do
        "$lasgen" --version "$version" --format 1 --points 3 --vlrs 2 \
            "$seeds/v$version.las" >/dev/null
    done
    # LAS 1.3 and 1.4 and their newer point formats.
    for format in 4 5; do
        "$lasgen" --version 1.3 --format "$format" --points 5 --vlrs 1 \
            "$seeds/v13f$format.las" >/dev/null
    done
    for format in 6 7 8 9 10; do
        "$lasgen" --version 1.4 --format "$format" --points 5 --vlrs 1 --extra-bytes 2 \
            "$seeds/v14f$format.las" >/dev/null
    done
}

# Floats little-endian: 0, 1, 5, 10, 50, 100, 0.01, 0.005, -1.
tree_seeds() {
    local seeds=$1
    local f0='\x00\x00\x00\x00' f1='\x00\x00\x80\x3f' f5='\x00\x00\xa0\x40'
    local f10='\x00\x00\x20\x41' f50='\x00\x00\x48\x42' f100='\x00\x00\xc8\x42'
    local fc='\x0a\xd7\x23\x3c' fh='\x0a\xd7\xa3\x3b' fm='\x00\x00\x80\xbf'
    # A box, then runs: start x y z, step x y, count byte (1 + 64 * count points).
    printf "$f0$f0$f0$f100$f100$f10$f50$f50$f5$f0$f0\xc8" >"$seeds/stack"
    printf "$f0$f0$f0$f100$f50$f10$f0$f0$f1$fc$fh\xff$f100$f50$f10$f0$f0\x00" >"$seeds/diagonal"
    printf "$f5$f5$f0$f5$f5$f0$f5$f5$f0$f0$f0\x01$f5$f1$f0$f0$f0\x00" >"$seeds/flat"
    printf "$fm$fm$f0$f1$f1$f1$fm$fm$f1$fc$f0\x20$fm$fm$f1$f0$fc\x20" >"$seeds/edges"
}

failed=0
for target in "${targets[@]}"; do
    seeds=$build/seeds/$target
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target
    mkdir -p "$seeds" "$corpus" "$artifacts"
    if [[ -z $(ls -A "$seeds") ]]; then
        if [[ $target != tree_fuzz && ! -f $work/f0p1.las ]]; then
            surveys
        fi
        "${target%_fuzz}_seeds" "$seeds"
    fi
    echo "== $target for $seconds s"
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$build/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
        -malloc_limit_mb=1024 -timeout=20 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$corpus" "$seeds" || failed=1
done
exit "$failed"
