# Shared by the benchmark scripts that compare with LibreOffice's own
# converter (source it). soffice is measured with two kinds of profile,
# because its start-up time depends on which one it gets:
#   headless  a profile only ever used headless, as on a server or in CI:
#             LibreOffice never records which version used it, so it counts
#             every start as the first after an upgrade and repeats its
#             graphics self-tests (about 3 s here);
#   desktop   a profile that has also opened a document in the LibreOffice
#             window, which records the version: starts skip the self-tests.
# Both are made before any timing, so no timed run pays for building one.

now() { date +%s.%N; }

# best_seconds <runs> <setup> <command...>: runs the command <runs> times and
# prints the best wall time, as the run least disturbed by the rest of the
# machine. <setup> (a command; ":" for none) runs untimed before each run.
# A failing run is reported on stderr and still timed.
best_seconds() {
    local runs=$1 setup=$2 best="" start took r
    shift 2
    for ((r = 0; r < runs; r++)); do
        "$setup"
        start=$(now)
        "$@" >/dev/null 2>&1 || echo "bench: $* exited $?" >&2
        took=$(awk -v a="$start" -v b="$(now)" 'BEGIN {printf "%.2f", b - a}')
        best=$(awk -v t="$took" -v best="$best" 'BEGIN {print (best == "" || t < best) ? t : best}')
    done
    echo "$best"
}

pdf_pages() {  # total pages of the PDF documents in a folder
    local total=0 n f
    for f in "$1"/*.pdf; do
        [[ -e $f ]] || continue
        n=$(pdfinfo "$f" 2>/dev/null | awk '/^Pages:/ {print $2}')
        total=$((total + ${n:-0}))
    done
    echo "$total"
}

# make_soffice_profiles <work folder> <a deck>: sets soffice_profile[headless]
# and soffice_profile[desktop] to profile URLs under the work folder.
declare -A soffice_profile
make_soffice_profiles() {
    local work=$1 deck=$2 kind version
    version=$(soffice --version | awk 'NR == 1 {split($2, v, "."); print v[1] "." v[2]}')
    for kind in headless desktop; do
        soffice_profile[$kind]="file://$work/profile-$kind"
        soffice --headless --norestore "-env:UserInstallation=${soffice_profile[$kind]}" \
            --convert-to pdf --outdir "$work/warmup" "$deck" >/dev/null 2>&1 || true
    done
    # What the window records on its first document: the version in use.
    sed -i "s|</oor:items>|<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" oor:op=\"fuse\"><value>$version</value></prop></item>\n</oor:items>|" \
        "$work/profile-desktop/user/registrymodifications.xcu"
}

# soffice_pdf <profile kind> <output folder> <deck...>: one soffice command.
soffice_pdf() {
    local kind=$1 out=$2
    shift 2
    soffice --headless --norestore "-env:UserInstallation=${soffice_profile[$kind]}" \
        --convert-to pdf --outdir "$out" "$@" >/dev/null 2>&1
}

# soffice_pdf_each <profile kind> <output folder> <deck...>: a command per deck.
soffice_pdf_each() {
    local kind=$1 out=$2 deck
    shift 2
    for deck in "$@"; do soffice_pdf "$kind" "$out" "$deck"; done
}
