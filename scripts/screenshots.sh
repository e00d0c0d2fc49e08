#!/bin/sh
# Pictures of every screen for the documentation: builds the screen_shots tool,
# runs the engine console on a demonstration store under Xvfb and saves one
# PNG per screen into docs/screenshots (or the folder given).
#
#   scripts/screenshots.sh [OUTPUT_FOLDER]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/screenshots}
cd "$root"
cmake --preset default >/dev/null
cmake --build --preset default --target screen_shots
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
mkdir -p "$out"
XDG_RUNTIME_DIR=$runtime xvfb-run -a -s "-screen 0 1280x900x24" build/tools/screenshots/screen_shots "$out"
# Small files for the repository: fewer colours where pngquant or optipng is at hand.
for png in "$out"/*.png; do
  if command -v optipng >/dev/null 2>&1; then optipng -quiet -o2 "$png"; fi
done
ls -l "$out"
