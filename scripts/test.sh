#!/usr/bin/env bash
# Installs, builds and runs every test: the full suite, then the core
# libraries again under AddressSanitizer and UndefinedBehaviorSanitizer, then
# the fuzzers (BMP reader, encoders against libtiff) for a bounded time each.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

# Window tests need an X display; start a private virtual one when none is set.
if [ -z "${DISPLAY:-}" ]; then
  export DISPLAY=:$((90 + RANDOM % 100))
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
  sleep 1
fi

echo "== full build and tests"
"$root/scripts/build.sh"
ctest --test-dir "$root/build" --output-on-failure -j 2 --timeout 600

echo "== core libraries and the control under address and undefined-behaviour sanitizers"
PRESSMARK_BUILD_DIR="$root/build-asan" "$root/scripts/build.sh" \
  -DPRESSMARK_SANITIZE=ON -DPRESSMARK_BUILD_OFFICE=OFF -DPRESSMARK_BUILD_APP=OFF \
  -DPRESSMARK_BUILD_GUI=OFF -DPRESSMARK_BUILD_BENCHMARKS=OFF
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$root/build-asan" --output-on-failure -j 2 -L 'core|control' --timeout 600

echo "== fuzzers (bounded)"
"$root/scripts/fuzz.sh" 60
