#!/usr/bin/env bash
# Screenshots of the desktop program: the main window with a job, the progress
# window during a real run, and the main window after it, saved as PNG files
# in out/screenshots/. Starts a private virtual display (Xvfb) when none is
# set. Uses the build in build/ (or $PRESSMARK_BUILD_DIR), building what it needs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PRESSMARK_BUILD_DIR:-$root/build}
deck=${1:-$root/../shared/corpus/basic_test_ppt_file.ppt}
out="$root/out/screenshots"
mkdir -p "$out"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target slidepress_screenshots Slideport PressmarkImpress

if [ -z "${DISPLAY:-}" ]; then
  # Xvfb picks a free display number and writes it to fd 3.
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" 2>/dev/null &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null || true; rm -f "$number_file"' EXIT
  for _ in $(seq 50); do [ -s "$number_file" ] && break; sleep 0.1; done
  export DISPLAY=:$(head -n 1 "$number_file")
fi

driver=$(find "$build" -name slidepress_screenshots -type f -perm -u+x | head -n 1)
PRESSMARK_CLASSES_REG="$build/classes.reg" QT_QPA_PLATFORM=xcb "$driver" "$deck" "$out"
echo "screenshots in $out"
