#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and run Taxferry. Safe to run again.
set -euo pipefail

pkgs=(build-essential cmake ninja-build clang-format
      qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc
      fonts-wqy-microhei xvfb xauth sqlite3
      unixodbc unixodbc-dev libpq-dev odbc-postgresql libsqliteodbc postgresql
      qt6-translations-l10n libqt6svg6 qtkeychain-qt6-dev x11-utils dpkg-dev file
      clang libclang-rt-14-dev
      libminizip-dev zlib1g-dev libsqlite3-dev valgrind
      scdoc librsvg2-bin man-db desktop-file-utils appstream lintian)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
