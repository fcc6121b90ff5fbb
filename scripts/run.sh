#!/usr/bin/env bash
# Installs what is missing, builds, generates a demo survey and shows its header.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh

mkdir -p build/demo
demo=build/demo/survey.las
build/tools/telvora-lasgen/telvora-lasgen "$demo" --version 1.2 --format 3 --points 2000000 --seed 1 --vlrs 2
echo
build/tools/telvora-las/telvora-las info "$demo"
echo
echo "Demo survey: $demo"
