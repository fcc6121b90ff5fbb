#!/usr/bin/env bash
# Installs what is missing, builds, generates a demo survey and starts the viewer on the user's
# display. Without a display it shows the viewer's window as a picture instead.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh

mkdir -p build/demo
# Four neighbouring tiles of a made-up airborne survey, 750,000 points each.
lasgen=build/tools/telvora-lasgen/telvora-lasgen
tiles=()
seed=1
for row in 0 1; do
    for column in 0 1; do
        tile=build/demo/tile-$row$column.las
        if [[ ! -f "$tile" ]]; then
            "$lasgen" "$tile" --version 1.2 --format 3 --points 750k --seed "$seed" --vlrs 2 \
                --origin $((500000 + 440 * column)) $((5400000 + 310 * row))
        fi
        tiles+=("$tile")
        seed=$((seed + 1))
    done
done
build/tools/telvora-las/telvora-las info "${tiles[0]}"
echo

viewer=build/src/app/telvora
if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    echo "Starting the viewer: $viewer ${tiles[*]}"
    exec "$viewer" "${tiles[@]}"
fi

picture=build/demo/main-window.png
echo "No display found: drawing the survey in the viewer under Xvfb instead."
xvfb-run -a -s '-screen 0 1280x800x24' \
    "$viewer" --screenshot "$picture" --size 1280x800 "${tiles[@]}" 2>/dev/null
echo "Picture of the main window with the survey loaded: $picture"
echo "On a desktop session, start it with: $viewer ${tiles[*]}"
