#!/usr/bin/env bash
# Installs every Debian 12 package that the build, the tests and the demo need.
# Safe to run again: apt-get skips what is already installed.
#   scripts/setup.sh [PACKAGE...]   also installs the packages named (scripts/coverage.sh adds gcovr)
set -euo pipefail

packages=(
  cmake g++ ninja-build pkgconf ccache
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev
  libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc
  qcoro-qt6-dev libquazip1-qt6-dev libfreexl-dev libsqlite3-dev
  tdsodbc unixodbc-dev postgresql
  xvfb xauth trayer fonts-dejavu-core
  socat python3-xlwt python3-openpyxl libxlsxwriter-dev
  "$@"
)

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
