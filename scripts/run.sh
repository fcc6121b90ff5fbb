#!/usr/bin/env bash
# Installs what is missing, builds, generates a demo survey and starts the viewer on the user's
# display. Without a display it shows the viewer's window as a picture instead.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh

mkdir -p build/demo
demo=build/demo/survey.las
if [[ ! -f "$demo" ]]; then
    build/tools/telvora-lasgen/telvora-lasgen "$demo" --version 1.2 --format 3 --points 2000000 \
        --seed 1 --vlrs 2
fi
build/tools/telvora-las/telvora-las info "$demo"
echo

viewer=build/src/app/telvora
if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    echo "Starting the viewer: $viewer $demo"
    exec "$viewer" "$demo"
fi

picture=build/demo/main-window.png
echo "No display found: drawing the viewer's window under Xvfb instead."
xvfb-run -a -s '-screen 0 1280x800x24' "$viewer" --screenshot "$picture" "$demo" 2>/dev/null
echo "Picture of the main window: $picture"
echo "On a desktop session, start it with: $viewer $demo"
