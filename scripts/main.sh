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
# registry; use it, so nothing is written into the user's registry.
export PRESSMARK_CLASSES_REG="$build/classes.reg"
if [ ! -s "$PRESSMARK_CLASSES_REG" ]; then
  echo "main: the build registered no modules in $PRESSMARK_CLASSES_REG" >&2
  exit 1
fi

sample="$root/samples/pressmark-tour.odp"
"$build/app/cli/slidepress-cli" "$sample" --format pdf --paper A4 --compression jpeg --output "$out" "$@"

name=$(basename "$sample"); name=${name%%.*}
echo "main: the sample presentation is converted: $out/$name.pdf (slide images in $out/$name/)"
