#!/usr/bin/env bash
# Installs every Debian package the project builds, runs and tests with.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake pkg-config clang libclang-rt-14-dev file dpkg-dev
  # libraries we link
  libjpeg62-turbo-dev libx11-dev qt6-base-dev qt6-base-dev-tools libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev libtiff-dev libpng-dev
  # the presentation application and its SDK
  libreoffice-impress libreoffice-dev libreoffice-dev-common
  # independent readers used by the tests, and a virtual display
  qpdf poppler-utils mupdf-tools ghostscript libtiff-tools imagemagick xvfb xauth
  fonts-dejavu-core
  # peers the document benchmark script compares against, and its timer
  img2pdf time
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup: all packages present"
fi
