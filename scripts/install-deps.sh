#!/usr/bin/env bash
# Installs the Debian packages Telvora needs to build and test, and only those that are missing,
# so that a second run costs a few dpkg queries. Needs root (or sudo) only when something is
# missing.
set -euo pipefail

packages=(
    # compiler and build tools
    g++ make cmake ninja-build pkg-config
    # libraries
    libfmt-dev nlohmann-json3-dev libcli11-dev
    # the viewer: Qt 6 widgets, OpenGL, GLU and GLEW (libqt6opengl6-dev is only recommended by
    # qt6-base-dev, but QOpenGLWidget needs it)
    qt6-base-dev libqt6opengl6-dev libglew-dev libglu1-mesa-dev libgl-dev libgl1-mesa-dri
    # a display for the GUI and OpenGL tests (Mesa draws in software)
    xvfb xauth
    # tests, benchmarks and the formatting check
    libgtest-dev libgmock-dev libbenchmark-dev clang-format clang-tidy locales
    # the fuzzer: clang with its sanitizer and libFuzzer runtimes (only recommended by clang)
    clang libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        if command -v sudo >/dev/null; then
            sudo=(sudo)
        else
            echo "Run as root to install the missing packages: ${missing[*]}" >&2
            exit 1
        fi
    fi
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends \
        "${missing[@]}"
fi

# The tests check number formatting under a German locale, where the decimal separator is ",".
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    if [[ $(id -u) -eq 0 ]]; then
        sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
        grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >>/etc/locale.gen
        locale-gen >/dev/null
    else
        echo "Note: the de_DE.UTF-8 locale is missing and only root can generate it;" \
            "scripts/test.sh needs it." >&2
    fi
fi
