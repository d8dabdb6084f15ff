#!/usr/bin/env bash
# Proves that the Debian package starts on a clean machine and converts a
# deck for a user other than the one who installed it:
#   1. builds a Release tree in build-package/ and makes the .deb with CPack,
#   2. installs it with apt-get (as root: meant for CI's disposable machine),
#   3. as an unprivileged user with a clean environment and no registry of
#      its own, converts a two-slide deck with slidepress-cli and starts the
#      slidepress window for a few seconds,
#   4. removes the package and checks that the machine's class registry no
#      longer names the modules.
# Prints PASS/FAIL lines; exits non-zero when any step fails.
#   scripts/package-check.sh
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-package
deck=$root/../shared/corpus/basic_test_ppt_file.ppt
user=pressmark-check
machine_registry=/var/lib/pressmark/classes.reg
# The text of the registrations: the control's CLSID, the application's
# ProgID and the module folder.
registration_pattern='3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13|PowerPoint\.Application|/usr/lib/pressmark/'

failures=0
started=$SECONDS
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
die() {
  fail "$*"
  echo "package-check: FAILED after $((SECONDS - started)) s"
  exit 1
}

[ "$(id -u)" -eq 0 ] || die "package-check must run as root (it installs the package with apt-get)"
[ -r "$deck" ] || die "the deck $deck is missing"

# ---- 1. build and package --------------------------------------------------------------------
log=$build/package-check.log
mkdir -p "$build"
: >"$log"
echo "package-check: building a Release tree in $build (log: $log)"
if ! cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
      -DPRESSMARK_BUILD_PLATFORM=ON -DPRESSMARK_BUILD_CONTROL=ON -DPRESSMARK_BUILD_OFFICE=ON \
      -DPRESSMARK_BUILD_APP=ON -DPRESSMARK_BUILD_GUI=ON \
      -DPRESSMARK_BUILD_TESTS=OFF -DPRESSMARK_BUILD_BENCHMARKS=OFF -DPRESSMARK_SANITIZE=OFF >>"$log" 2>&1 ||
   ! cmake --build "$build" -j "$(nproc)" >>"$log" 2>&1; then
  tail -30 "$log"
  die "the Release build"
fi
pass "Release build ($((SECONDS - started)) s)"

rm -f "$build"/pressmark_*.deb
if ! (cd "$build" && cpack -G DEB >>"$log" 2>&1); then
  tail -30 "$log"
  die "cpack -G DEB"
fi
debs=("$build"/pressmark_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || die "cpack made no single pressmark_*.deb"
pass "package $(basename "${debs[0]}")"

# ---- 2. install ------------------------------------------------------------------------------
installed=0
cleanup() {
  # A failed run must not leave the package on the machine.
  if [ "$installed" -eq 1 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y pressmark >>"$log" 2>&1 || true
  fi
  [ -n "${work:-}" ] && rm -rf "$work"
}
trap cleanup EXIT

if ! (cd "$build" && DEBIAN_FRONTEND=noninteractive apt-get install -y "./$(basename "${debs[0]}")") >>"$log" 2>&1; then
  tail -30 "$log"
  die "apt-get install of the package"
fi
installed=1
pass "apt-get install"
if grep -Eq "$registration_pattern" "$machine_registry" 2>/dev/null; then
  pass "postinst registered the modules in $machine_registry"
else
  fail "postinst left no registration in $machine_registry"
fi

# ---- 3. an unprivileged user -----------------------------------------------------------------
if ! id "$user" >/dev/null 2>&1; then
  useradd --create-home --shell /bin/sh "$user" || die "useradd $user"
fi
home=$(getent passwd "$user" | cut -d: -f6)
# The check's own user: no registry of its own, so only the machine's can serve it.
rm -f "$home/.local/share/pressmark/classes.reg" "$home/.local/share/pressmark/classes.reg.lock"

work=$(mktemp -d /tmp/pressmark-package-check.XXXXXX)
chmod 755 "$work"
install -o "$user" -m 644 "$deck" "$work/basic_test_ppt_file.ppt"
install -d -o "$user" -m 755 "$work/out"
# A clean environment: nothing of the builder's (PRESSMARK_CLASSES_REG, the
# build tree's paths) reaches the installed program.
as_user() {
  runuser -u "$user" -- env -i HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin \
    LANG=C.UTF-8 "$@"
}

as_user /usr/bin/slidepress-cli "$work/basic_test_ppt_file.ppt" --format pdf --output "$work/out" \
  >"$work/cli.log" 2>&1
cli_status=$?
if [ "$cli_status" -eq 0 ]; then
  pages=$(pdfinfo "$work/out/basic_test_ppt_file.pdf" 2>/dev/null | awk '/^Pages:/ {print $2}')
  if [ "$pages" = "2" ]; then
    pass "slidepress-cli as $user converted the deck into a 2-page PDF"
  else
    cat "$work/cli.log"
    fail "slidepress-cli as $user: expected a 2-page PDF, pdfinfo says pages=${pages:-none}"
  fi
else
  cat "$work/cli.log"
  fail "slidepress-cli as $user exited with status $cli_status"
fi

# The window program creates its control at start-up and shows a modal error
# box when it cannot, which would keep running too: so besides "still running
# after 8 s" (timeout's 124) the running process must have the installed
# control loaded.
as_user QT_QPA_PLATFORM=offscreen timeout 8 /usr/bin/slidepress >"$work/gui.log" 2>&1 &
gui=$!
control_loaded=0
for _ in 1 2 3 4 5 6; do
  sleep 1
  for pid in $(pgrep -u "$user" -x slidepress); do
    grep -q '/usr/lib/pressmark/Slideport.OCX' "/proc/$pid/maps" 2>/dev/null && control_loaded=1
  done
  [ "$control_loaded" -eq 1 ] && break
done
wait "$gui"
status=$?
if [ "$status" -eq 124 ] && [ "$control_loaded" -eq 1 ]; then
  pass "slidepress as $user started with the installed control and was still running after 8 s"
else
  cat "$work/gui.log"
  fail "slidepress as $user: exit status $status (124 = still running), control loaded: $control_loaded"
fi
if grep -Eq "$registration_pattern" "$home/.local/share/pressmark/classes.reg" 2>/dev/null; then
  fail "$user's own registry holds the modules: the machine's registry was not what served"
fi

# ---- 4. remove -------------------------------------------------------------------------------
if DEBIAN_FRONTEND=noninteractive apt-get remove -y pressmark >>"$log" 2>&1; then
  installed=0
  pass "apt-get remove"
else
  tail -30 "$log"
  fail "apt-get remove"
fi
if grep -Eq "$registration_pattern" "$machine_registry" 2>/dev/null; then
  grep -En "$registration_pattern" "$machine_registry"
  fail "the machine's registry still names the modules after removal"
else
  pass "prerm unregistered the modules from $machine_registry"
fi

if [ "$failures" -eq 0 ]; then
  echo "package-check: PASS ($((SECONDS - started)) s)"
  exit 0
fi
echo "package-check: FAILED, $failures check(s) ($((SECONDS - started)) s)"
exit 1
