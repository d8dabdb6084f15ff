#!/usr/bin/env bash
# The main job: installs what the project needs (Debian 12), builds it, and
# converts the repository's sample presentation to PDF in ./out/.
#   scripts/main.sh [more slidepress-cli options, e.g. --paper letter]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PRESSMARK_BUILD_DIR:-$root/build}
out=${PRESSMARK_OUTPUT_DIR:-$PWD/out}

"$root/scripts/setup.sh"
"$root/scripts/build.sh"

# The build registers the control and the office module in its own class
# registry; use it (nothing is written into the user's registry) and register
# again whatever is missing from it.
export PRESSMARK_CLASSES_REG="$build/classes.reg"
register_if_missing() {  # <text the registry must hold> <module>
  if ! grep -qi -- "$1" "$PRESSMARK_CLASSES_REG" 2>/dev/null; then
    "$build/platform/pmregsvr" /s "$2"
  fi
}
register_if_missing "{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13}" "$build/control/Slideport.OCX"
register_if_missing "PowerPoint.Application" "$build/office/PressmarkImpress.so"

sample="$root/samples/pressmark-tour.odp"
"$build/app/cli/slidepress-cli" "$sample" --format pdf --paper A4 --compression jpeg --output "$out" "$@"

name=$(basename "$sample"); name=${name%%.*}
echo "main: the sample presentation is converted: $out/$name.pdf (slide images in $out/$name/)"
