#!/usr/bin/env bash
# Installs the Debian 12 packages that building, packaging and running need.
# Safe to run again: apt-get skips what is already installed.
#   scripts/setup.sh [--test] [PACKAGE...]
#     --test      also what only the tests need (scripts/test.sh passes it)
#     PACKAGE...  also these (scripts/coverage.sh adds gcovr)
set -euo pipefail

packages=(
  # build; ccache is the compiler launcher when present
  cmake g++ ninja-build pkgconf ccache git
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev
  qcoro-qt6-dev libquazip1-qt6-dev libfreexl-dev libgsf-1-dev libsqlite3-dev libsystemd-dev
  # cpack -G DEB (dpkg-shlibdeps)
  dpkg-dev
  # run: store drivers, SQL Server through FreeTDS, the SVG icon
  libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc tdsodbc libqt6svg6 fonts-dejavu-core
)
test_packages=(
  # a throw-away PostgreSQL server, a virtual display with a tray host, spreadsheet
  # test data, and the package checker
  postgresql xvfb xauth trayer python3-xlwt python3-openpyxl lintian
)

for arg in "$@"; do
  if [ "$arg" = "--test" ]; then
    packages+=("${test_packages[@]}")
  else
    packages+=("$arg")
  fi
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
