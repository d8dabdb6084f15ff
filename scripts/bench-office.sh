#!/usr/bin/env bash
# Measures, on the same decks in the same run:
#  (a) slidepress-cli on the whole batch: one process that, per deck, starts
#      (or takes over the warm) office, loads the deck, renders every slide as
#      an 800 x 600 BMP, quits, and writes the PDF;
#  (b) `soffice --headless --convert-to pdf` run once per deck;
#  (c) one `soffice --headless --convert-to pdf` given all the decks.
# Prints seconds, slides per second and the ratios (a) against (b) and (c).
#
# Usage: scripts/bench-office.sh [build folder]   (default: ./build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
cli=$build/app/cli/slidepress-cli
corpus=${PRESSMARK_CORPUS_DIR:-$here/../shared/corpus}
export PRESSMARK_CLASSES_REG=${PRESSMARK_CLASSES_REG:-$build/classes.reg}
[ -x "$cli" ] || { echo "bench-office: $cli not built" >&2; exit 2; }

decks=(robot_overview_Hebrew.ppt 56260.ppt iisd_report.ppt bug60345_Jankovic_final_Retreat_2002.ppt
       testODP_NPE.odp ParagraphStylesShorterThanCharStyles.ppt br.com.tvcamboriu.www_pps_Pensar_5b1_5d.ppt
       "unc-+oxford2001.ppt")
paths=()
for d in "${decks[@]}"; do paths+=("$corpus/$d"); done

work=$(mktemp -d /tmp/pressmark-bench-office-XXXXXX)
trap 'rm -rf "$work"' EXIT
soffice_pdf() {  # profile folder, output folder, decks...
    local profile=$1 out=$2
    shift 2
    soffice -env:UserInstallation=file://"$profile" --headless --convert-to pdf --outdir "$out" "$@" >/dev/null 2>&1
}
now() { date +%s.%N; }

# A first soffice run sets up its profile; (b) and (c) reuse that profile so
# that none of them pays for the set-up, as our office's is made per start.
soffice_pdf "$work/profile" "$work/warmup" "$corpus/testPPT.ppt"

t0=$(now)
"$cli" -q -o "$work/a" "${paths[@]}" >/dev/null
t1=$(now)
for p in "${paths[@]}"; do soffice_pdf "$work/profile" "$work/b" "$p"; done
t2=$(now)
soffice_pdf "$work/profile" "$work/c" "${paths[@]}"
t3=$(now)

slides=0
for p in "${paths[@]}"; do
    name=$(basename "$p")
    # soffice names its PDF after the name up to the last dot, we up to the first.
    n=$(pdfinfo "$work/c/${name%.*}.pdf" | awk '/^Pages:/ {print $2}')
    got=$(ls "$work/a/${name%%.*}"/Slide*.BMP 2>/dev/null | wc -l)
    [ "$got" = "$n" ] || echo "bench-office: $name: $got images, LibreOffice's PDF has $n pages" >&2
    slides=$((slides + n))
done
awk -v s="$slides" -v d="${#paths[@]}" -v t0="$t0" -v t1="$t1" -v t2="$t2" -v t3="$t3" 'BEGIN {
    a = t1 - t0; b = t2 - t1; c = t3 - t2
    printf "%d decks, %d slides\n", d, s
    printf "(a) slidepress-cli, one process     %7.1f s  %6.2f slides/s\n", a, s / a
    printf "(b) soffice --convert-to pdf each   %7.1f s  %6.2f slides/s\n", b, s / b
    printf "(c) soffice --convert-to pdf batch  %7.1f s  %6.2f slides/s\n", c, s / c
    printf "(b)/(a) = %.2f (target >= 2)   (c)/(a) = %.2f (target >= 1)\n", b / a, c / a
}'
