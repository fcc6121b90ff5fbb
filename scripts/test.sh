#!/usr/bin/env bash
# Installs what is missing, builds, checks formatting and layering, and runs the whole test
# suite: once in Release (g++) under a German locale, again built by clang under AddressSanitizer
# and UndefinedBehaviorSanitizer, and fuzzes the archive decoder for a minute. With CI=true (as
# .ci/run sets it) a test whose input is missing (the real LAS files beside the repository, the
# German locale) fails instead of skipping.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# Decimal commas must not leak into numbers: the suite runs under a German locale, and a run
# without it would not test what it claims to.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    echo "The de_DE.UTF-8 locale is missing, and the tests run under it." >&2
    echo "Run scripts/install-deps.sh as root once to generate it, then run this script again." >&2
    exit 1
fi

# Release with every test target, whatever an earlier configuration of build/ chose.
scripts/build.sh -DCMAKE_BUILD_TYPE=Release -DTELVORA_BUILD_TESTS=ON -DTELVORA_BUILD_GUI=ON \
    -DTELVORA_BUILD_BENCH=ON

echo "== Formatting"
find src tools tests bench fuzz \( -name '*.h' -o -name '*.cpp' \) -print0 |
    xargs -0 -r clang-format --dry-run -Werror

echo "== Layering: common/, las/ and lcmp/ use neither Qt nor OpenGL"
if grep -rnE '#\s*include\s*[<"](Q[A-Za-z]|GL/)' src/common src/las src/lcmp; then
    echo "Qt or OpenGL headers in a library that must not use them" >&2
    exit 1
fi
echo "== Layering: scene/ draws through GLEW but knows nothing of Qt"
if grep -rnE '#\s*include\s*[<"]Q[A-Za-z]' src/scene; then
    echo "Qt headers in the scene library" >&2
    exit 1
fi
echo "== Layering: panes/ borrows the loaded files and knows nothing of the view or the application"
if grep -rnE '#\s*include\s*"(view|app)/' src/panes; then
    echo "view or app headers in the panes library" >&2
    exit 1
fi
echo "== Layering: cross/ borrows the scene and knows nothing of the view or the application"
if grep -rnE '#\s*include\s*"(view|app)/' src/cross; then
    echo "view or app headers in the cross-section library" >&2
    exit 1
fi

# The checks named in .clang-tidy, warnings as errors, over every translation unit of the product,
# its tools, tests and benchmarks (src/, tools/, tests/ and bench/) in the Release build's
# compile_commands.json; tests/ and bench/ adjust the set in their own .clang-tidy.
echo "== clang-tidy"
tidy_status=0
project="$(pwd)/(src|tools|tests|bench)/"
run-clang-tidy -p build -j "$(nproc)" -quiet -header-filter="$project" "$project" \
    >build/clang-tidy.log 2>&1 || tidy_status=$?
# Only the findings: the command lines and the counts of suppressed system-header warnings are
# noise.
grep -v -E '^(clang-tidy|[0-9]+ warnings? (and [0-9]+ errors? )?generated|Suppressed [0-9]+ warnings|Use -header-filter)' \
    build/clang-tidy.log || true
if ((tidy_status != 0)); then
    echo "clang-tidy found problems (above; all of it in build/clang-tidy.log)" >&2
    exit 1
fi

# Widget and OpenGL tests need a display: every ctest run gets its own Xvfb, where Mesa draws
# in software.
xvfb=(xvfb-run -a -s '-screen 0 1280x1024x24')
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

# --no-tests=error: a build that registered no tests is a failure, not an empty success.
echo "== Tests (Release, LC_ALL=de_DE.UTF-8)"
LC_ALL=de_DE.UTF-8 "${xvfb[@]}" ctest --test-dir build -j "$(nproc)" --output-on-failure \
    --no-tests=error

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer (all but those labelled slow)"
# Built with clang, warnings as errors as everywhere, so that clang's warnings fail the run
# without a build of their own; the Release build above stays with g++.
clangxx=$(command -v clang++)
# CMake cannot switch the compiler of a configured folder without losing its other settings, so
# a sanitizer folder left by an earlier compiler starts afresh.
if [[ -f build-asan/CMakeCache.txt ]] &&
    ! grep -qE "^CMAKE_CXX_COMPILER:[A-Z]+=${clangxx}\$" build-asan/CMakeCache.txt; then
    rm -rf build-asan
fi
TELVORA_BUILD_DIR=build-asan scripts/build.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="$clangxx" \
    -DTELVORA_SANITIZE=address,undefined -DTELVORA_BUILD_TESTS=ON -DTELVORA_BUILD_GUI=ON \
    -DTELVORA_BUILD_BENCH=OFF -DTELVORA_WERROR=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "${xvfb[@]}" ctest --test-dir build-asan -LE slow -j "$(nproc)" --output-on-failure \
    --no-tests=error

echo "== Fuzzing the archive decoder, the LAS readers and the point tree briefly (clang, libFuzzer)"
fuzz/run.sh "${TELVORA_FUZZ_SECONDS:-60}"

echo "All tests passed."
