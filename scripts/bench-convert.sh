#!/usr/bin/env bash
# Converts a batch of real decks end to end and reports slides per second,
# side by side in the same run with LibreOffice's own converter given the
# same decks:
#   slidepress-cli --jobs 1           all decks, one at a time
#   slidepress-cli --jobs 2           two decks at a time (two office processes)
#   soffice --convert-to pdf          one command per deck
#   soffice --convert-to pdf          one command for all decks
# Slides are counted from the pages of the documents each run wrote.
#
# Usage: scripts/bench-convert.sh [deck ...]      (default: 8 decks of the corpus)
# Environment: PRESSMARK_BUILD_DIR (default /work/main/build),
#   PRESSMARK_CLASSES_REG (default <build>/classes.reg),
#   PRESSMARK_CORPUS_DIR (default <repository>/../shared/corpus),
#   BENCH_CLI_ARGS extra options for slidepress-cli (default: -f pdf -p A4 -c jpeg).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${PRESSMARK_BUILD_DIR:-/work/main/build}
export PRESSMARK_CLASSES_REG=${PRESSMARK_CLASSES_REG:-$build/classes.reg}
corpus=${PRESSMARK_CORPUS_DIR:-$here/../shared/corpus}
cli=$build/app/cli/slidepress-cli
cli_args=${BENCH_CLI_ARGS:--f pdf -p A4 -c jpeg}

[[ -x $cli ]] || { echo "bench-convert: no $cli (build the slidepress-cli target)" >&2; exit 1; }
[[ -f $PRESSMARK_CLASSES_REG ]] || { echo "bench-convert: no registry $PRESSMARK_CLASSES_REG" >&2; exit 1; }
command -v soffice >/dev/null || { echo "bench-convert: soffice not found" >&2; exit 1; }

if (($#)); then
    decks=("$@")
else
    # Decks LibreOffice loads, 1 to 14 slides each, about 55 slides in all.
    decks=()
    for name in basic_test_ppt_file.ppt testPPT.ppt table_test.ppt 54880_chinese.ppt bug60345_suba.ppt \
                PictureTypeZero.ppt ParagraphStylesShorterThanCharStyles.ppt LibreOfficeImpress_odp_1.3.odp; do
        decks+=("$corpus/$name")
    done
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/bench-convert-XXXXXX")
trap 'rm -rf "$work"' EXIT
profile="file://$work/profile"

now() { date +%s.%N; }
pages() {  # total pages of the PDF documents in a folder
    local total=0 n f
    for f in "$1"/*.pdf; do
        [[ -e $f ]] || continue
        n=$(pdfinfo "$f" 2>/dev/null | awk '/^Pages:/ {print $2}')
        total=$((total + ${n:-0}))
    done
    echo "$total"
}

declare -A seconds slides
run() {  # run <label> <output folder> <command...>
    local label=$1 out=$2 start end
    shift 2
    mkdir -p "$out"
    start=$(now)
    "$@" >"$work/$label.log" 2>&1 || echo "bench-convert: $label exited $? (see the pages count)" >&2
    end=$(now)
    seconds[$label]=$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.2f", b - a}')
    slides[$label]=$(pages "$out")
}

per_deck_soffice() {
    local deck
    for deck in "${decks[@]}"; do
        soffice --headless --norestore "-env:UserInstallation=$profile" --convert-to pdf --outdir "$1" "$deck"
    done
}

# The office's first start in a new profile builds the profile: done once
# here, untimed, so that no run pays for it.
soffice --headless --norestore "-env:UserInstallation=$profile" --convert-to pdf --outdir "$work/warmup" \
    "${decks[0]}" >/dev/null 2>&1 || true

echo "bench-convert: ${#decks[@]} decks, $(nproc) cores"
# shellcheck disable=SC2086  # cli_args is a list of options
run "slidepress --jobs 1" "$work/jobs1" "$cli" $cli_args --no-progress-bar -j 1 -o "$work/jobs1" "${decks[@]}"
# shellcheck disable=SC2086
run "slidepress --jobs 2" "$work/jobs2" "$cli" $cli_args --no-progress-bar -j 2 -o "$work/jobs2" "${decks[@]}"
run "soffice per deck" "$work/each" per_deck_soffice "$work/each"
run "soffice all decks" "$work/all" soffice --headless --norestore "-env:UserInstallation=$profile" \
    --convert-to pdf --outdir "$work/all" "${decks[@]}"

printf '%-22s %8s %8s %10s\n' "run" "slides" "seconds" "slides/s"
for label in "slidepress --jobs 1" "slidepress --jobs 2" "soffice per deck" "soffice all decks"; do
    printf '%-22s %8s %8s %10s\n' "$label" "${slides[$label]}" "${seconds[$label]}" \
        "$(awk -v s="${slides[$label]}" -v t="${seconds[$label]}" 'BEGIN {printf "%.2f", (t > 0 ? s / t : 0)}')"
done
ratio() {  # how many times faster the first run is than the second (by slides per second)
    awk -v s1="${slides[$1]}" -v t1="${seconds[$1]}" -v s2="${slides[$2]}" -v t2="${seconds[$2]}" \
        'BEGIN {if (t1 > 0 && t2 > 0 && s2 > 0) printf "%.2f", (s1 / t1) / (s2 / t2); else print "n/a"}'
}
echo "slidepress --jobs 1 vs soffice per deck:  x$(ratio "slidepress --jobs 1" "soffice per deck")"
echo "slidepress --jobs 1 vs soffice all decks: x$(ratio "slidepress --jobs 1" "soffice all decks")"
echo "slidepress --jobs 2 vs soffice all decks: x$(ratio "slidepress --jobs 2" "soffice all decks")"
echo "slidepress --jobs 2 vs --jobs 1:          x$(ratio "slidepress --jobs 2" "slidepress --jobs 1")"
