#!/usr/bin/env bash
# Converts a batch of real decks end to end and reports slides per second,
# side by side in the same run with LibreOffice's own converter given the
# same decks:
#   slidepress-cli                    --jobs auto (the default: one office per core)
#   slidepress-cli --jobs 1           all decks, one at a time
#   slidepress-cli --jobs 2           two decks at a time (two office processes)
#   soffice --convert-to pdf          one command per deck, and one for all,
#                                     each with a headless-only and a desktop
#                                     profile (see bench-lib.sh)
# Slides are counted from the pages of the documents each run wrote.
#
# Usage: scripts/bench-convert.sh [deck ...]      (default: 8 decks of the corpus)
# Environment: PRESSMARK_BUILD_DIR (default <repository>/build),
#   PRESSMARK_CLASSES_REG (default <build>/classes.reg),
#   PRESSMARK_CORPUS_DIR (default <repository>/../shared/corpus),
#   BENCH_CLI_ARGS extra options for slidepress-cli (default: -f pdf -p A4 -c jpeg),
#   BENCH_RUNS runs per command, the best is kept (default 3).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${PRESSMARK_BUILD_DIR:-$here/build}
export PRESSMARK_CLASSES_REG=${PRESSMARK_CLASSES_REG:-$build/classes.reg}
corpus=${PRESSMARK_CORPUS_DIR:-$here/../shared/corpus}
cli=$build/app/cli/slidepress-cli
cli_args=${BENCH_CLI_ARGS:--f pdf -p A4 -c jpeg}
# shellcheck source=bench-lib.sh
source "$here/scripts/bench-lib.sh"

[[ -x $cli ]] || { echo "bench-convert: no $cli (build the slidepress-cli target)" >&2; exit 1; }
[[ -f $PRESSMARK_CLASSES_REG ]] || { echo "bench-convert: no registry $PRESSMARK_CLASSES_REG" >&2; exit 1; }
command -v soffice >/dev/null || { echo "bench-convert: soffice not found" >&2; exit 1; }

if (($#)); then
    decks=("$@")
else
    # Decks LibreOffice loads, 1 to 14 slides each, about 40 slides in all.
    decks=()
    for name in basic_test_ppt_file.ppt testPPT.ppt table_test.ppt 54880_chinese.ppt bug60345_suba.ppt \
                PictureTypeZero.ppt ParagraphStylesShorterThanCharStyles.ppt LibreOfficeImpress_odp_1.3.odp; do
        decks+=("$corpus/$name")
    done
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/bench-convert-XXXXXX")
trap 'rm -rf "$work"' EXIT
make_soffice_profiles "$work" "${decks[0]}"

# Each command runs BENCH_RUNS times (default 3) into a fresh folder; the
# best time counts.
runs=${BENCH_RUNS:-3}
declare -A seconds slides
labels=()
run() {  # run <label> <output folder> <command...>
    local label=$1
    out=$2  # for empty_output, untimed before each run
    shift 2
    labels+=("$label")
    seconds[$label]=$(best_seconds "$runs" empty_output "$@")
    slides[$label]=$(pdf_pages "$out")
}
empty_output() { rm -rf "$out" && mkdir -p "$out"; }

echo "bench-convert: ${#decks[@]} decks, $(nproc) cores, best of $runs runs"
for jobs in auto 1 2; do
    # shellcheck disable=SC2086  # cli_args is a list of options
    run "slidepress --jobs $jobs" "$work/jobs-$jobs" \
        "$cli" $cli_args --no-progress-bar -j "$jobs" -o "$work/jobs-$jobs" "${decks[@]}"
done
for kind in headless desktop; do
    run "soffice per deck, $kind" "$work/each-$kind" soffice_pdf_each "$kind" "$work/each-$kind" "${decks[@]}"
    run "soffice all decks, $kind" "$work/all-$kind" soffice_pdf "$kind" "$work/all-$kind" "${decks[@]}"
done

printf '%-30s %8s %8s %10s\n' "run" "slides" "seconds" "slides/s"
for label in "${labels[@]}"; do
    printf '%-30s %8s %8s %10s\n' "$label" "${slides[$label]}" "${seconds[$label]}" \
        "$(awk -v s="${slides[$label]}" -v t="${seconds[$label]}" 'BEGIN {printf "%.2f", (t > 0 ? s / t : 0)}')"
done
ratio() {  # how many times faster the first run is than the second (by slides per second)
    awk -v s1="${slides[$1]}" -v t1="${seconds[$1]}" -v s2="${slides[$2]}" -v t2="${seconds[$2]}" \
        'BEGIN {if (t1 > 0 && t2 > 0 && s2 > 0) printf "%.2f", (s1 / t1) / (s2 / t2); else print "n/a"}'
}
for jobs in auto 1; do
    for peer in "soffice per deck, headless" "soffice all decks, headless" \
                "soffice per deck, desktop" "soffice all decks, desktop"; do
        printf 'slidepress --jobs %-4s vs %-28s x%s\n' "$jobs" "$peer" "$(ratio "slidepress --jobs $jobs" "$peer")"
    done
done
echo "slidepress --jobs 2 vs --jobs 1:                   x$(ratio "slidepress --jobs 2" "slidepress --jobs 1")"
