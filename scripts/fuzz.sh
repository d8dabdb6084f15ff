#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and the sanitizers and runs each for
# the given number of seconds (default 60) from its seed corpus
# (imaging/fuzz/<name>_seeds).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPRESSMARK_FUZZ=ON -DPRESSMARK_SANITIZE=ON -DPRESSMARK_BUILD_TESTS=OFF \
  -DPRESSMARK_BUILD_BENCHMARKS=OFF -DPRESSMARK_BUILD_PLATFORM=OFF -DPRESSMARK_BUILD_CONTROL=OFF \
  -DPRESSMARK_BUILD_OFFICE=OFF -DPRESSMARK_BUILD_APP=OFF -DPRESSMARK_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target pressmark_fuzzers
for fuzzer in "$build"/fuzz-bin/*_fuzzer; do
  name=$(basename "$fuzzer")
  corpus="$build/corpus-$name"
  log="$build/$name.log"
  mkdir -p "$corpus"
  echo "fuzzing $name for ${seconds}s"
  if ! "$fuzzer" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -artifact_prefix="$build/" \
      "$corpus" "$root/imaging/fuzz/${name%_fuzzer}_seeds" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: $name found a failing input (saved in $build/, log $log)" >&2
    exit 1
  fi
  tail -n 3 "$log"
done
