#!/usr/bin/env bash
# Measures, on the same decks in the same run:
#  (a) slidepress-cli on the whole batch: one process that, per deck, starts
#      (or takes over a warm) office, loads the deck, renders every slide as
#      an 800 x 600 BMP, quits, and writes the PDF; with its default
#      --jobs auto (one office per core) and with --jobs 1;
#  (b) `soffice --headless --convert-to pdf` run once per deck;
#  (c) one `soffice --headless --convert-to pdf` given all the decks;
# (b) and (c) with a headless-only and with a desktop profile (see
# bench-lib.sh). Prints seconds, slides per second and the ratios.
#
# Usage: scripts/bench-office.sh [build folder]   (default: ./build)
# Environment: BENCH_RUNS runs per command, the best is kept (default 3).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
cli=$build/app/cli/slidepress-cli
corpus=${PRESSMARK_CORPUS_DIR:-$here/../shared/corpus}
export PRESSMARK_CLASSES_REG=${PRESSMARK_CLASSES_REG:-$build/classes.reg}
[ -x "$cli" ] || { echo "bench-office: $cli not built" >&2; exit 2; }
# shellcheck source=bench-lib.sh
source "$here/scripts/bench-lib.sh"

decks=(robot_overview_Hebrew.ppt 56260.ppt iisd_report.ppt bug60345_Jankovic_final_Retreat_2002.ppt
       testODP_NPE.odp ParagraphStylesShorterThanCharStyles.ppt br.com.tvcamboriu.www_pps_Pensar_5b1_5d.ppt
       "unc-+oxford2001.ppt")
paths=()
for d in "${decks[@]}"; do paths+=("$corpus/$d"); done

work=$(mktemp -d /tmp/pressmark-bench-office-XXXXXX)
trap 'rm -rf "$work"' EXIT
make_soffice_profiles "$work" "$corpus/testPPT.ppt"

# Each command runs BENCH_RUNS times (default 3); the best time counts.
runs=${BENCH_RUNS:-3}
declare -A seconds
timed() {  # timed <label> <command...>
    local label=$1
    shift
    seconds[$label]=$(best_seconds "$runs" : "$@")
}
timed a "$cli" -q -o "$work/a" "${paths[@]}"
timed a1 "$cli" -q --jobs 1 -o "$work/a1" "${paths[@]}"
for kind in headless desktop; do
    timed "b-$kind" soffice_pdf_each "$kind" "$work/b-$kind" "${paths[@]}"
    timed "c-$kind" soffice_pdf "$kind" "$work/c-$kind" "${paths[@]}"
done

slides=0
for p in "${paths[@]}"; do
    name=$(basename "$p")
    # soffice names its PDF after the name up to the last dot, we up to the first.
    n=$(pdfinfo "$work/c-headless/${name%.*}.pdf" | awk '/^Pages:/ {print $2}')
    for run in a a1; do
        got=$(ls "$work/$run/${name%%.*}"/Slide*.BMP 2>/dev/null | wc -l)
        [ "$got" = "$n" ] || echo "bench-office: $run: $name: $got images, LibreOffice's PDF has $n pages" >&2
    done
    slides=$((slides + n))
done

echo "${#paths[@]} decks, $slides slides, $(nproc) cores, best of $runs runs"
row() {  # row <label> <key>
    awk -v l="$1" -v t="${seconds[$2]}" -v s="$slides" 'BEGIN {printf "%-46s %7.2f s %7.2f slides/s\n", l, t, s / t}'
}
row "(a)  slidepress-cli (--jobs auto)" a
row "(a1) slidepress-cli --jobs 1" a1
row "(b)  soffice per deck, headless profile" b-headless
row "(c)  soffice all decks, headless profile" c-headless
row "(b') soffice per deck, desktop profile" b-desktop
row "(c') soffice all decks, desktop profile" c-desktop
ratio() {  # ratio <ours> <theirs>: how many times faster ours is
    awk -v a="${seconds[$1]}" -v b="${seconds[$2]}" 'BEGIN {printf "%.2f", b / a}'
}
for ours in a a1; do
    echo "($ours) against (b) x$(ratio $ours b-headless) (target >= 2), (c) x$(ratio $ours c-headless) (target >= 1)," \
         "(b') x$(ratio $ours b-desktop), (c') x$(ratio $ours c-desktop)"
done
