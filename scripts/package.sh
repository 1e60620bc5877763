#!/usr/bin/env bash
# Builds the Debian package: a build of its own (default build-package/) with Debian's hardening flags and
# without the tests, installed stripped under /usr by cpack. Prints the package's path on the last line.
#   scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-package}
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAXFERRY_PACKAGE=ON "${launcher[@]}" >/dev/null
cmake --build "$dir"
dir=$(cd "$dir" && pwd)
rm -f "$dir"/taxferry_*.deb
(cd "$dir" && cpack -G DEB >cpack.log 2>&1) || { cat "$dir/cpack.log" >&2; exit 1; }
ls "$dir"/taxferry_*.deb
