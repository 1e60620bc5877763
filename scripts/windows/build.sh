#!/usr/bin/env bash
# Cross-builds Taxferry for 64-bit Windows against the Qt of scripts/windows/build-qt.sh and makes
# Taxferry-VERSION-setup.exe (NSIS) and Taxferry-VERSION-win64.zip (the same files, for a copy without
# installing) in dist-windows/.
#   scripts/windows/build.sh [--tests]     --tests also builds the test programs check.sh runs
set -euo pipefail
source "$(dirname "$0")/common.sh"

with_tests=OFF
[ "${1:-}" = "--tests" ] && with_tests=ON
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$TF_REPO}

if ! [ -f "$TF_QT/.taxferry-built" ]; then
  echo "no MinGW Qt in $TF_QT: run scripts/windows/build-qt.sh first" >&2
  exit 1
fi
tf_need_packages g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 cmake ninja-build pkgconf nsis icoutils \
  librsvg2-bin zip qt6-translations-l10n qt6-base-dev qt6-base-dev-tools

started=$(date +%s)
build=${TAXFERRY_WIN_BUILD:-$TF_REPO/build-windows}
dist=$TF_REPO/dist-windows
version=$(sed -n 's/^project(Taxferry VERSION \([0-9.]*\).*/\1/p' "$TF_REPO/CMakeLists.txt")
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

mkdir -p "$build"
cmake -S "$TF_REPO" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$TF_TOOLCHAIN" -DTAXFERRY_WIN_CACHE="$TF_CACHE" \
  -DCMAKE_PREFIX_PATH="$TF_QT;$TF_DEPS" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  "${launcher[@]}" >"$build/configure.log" 2>&1 ||
  { tail -n 30 "$build/configure.log"; exit 1; }
targets=(taxferry taxferry-batch taxferry-mkdb)
if [ $with_tests = ON ]; then
  targets+=("${TF_WINE_TESTS[@]}")
fi
cmake --build "$build" --parallel "$(tf_jobs)" --target "${targets[@]}" 2>&1 | grep -vE '^\[[0-9]+/[0-9]+\]' || true
for t in taxferry taxferry-batch taxferry-mkdb; do
  [ -f "$build/bin/$t.exe" ] || { echo "the build failed: $t.exe is missing" >&2; exit 1; }
done
built=$(date +%s)

# --- The files of an installed program: bin/ (programs and DLLs), plugins/, translations/ (Qt's prefix is
# bin/.., qt.conf says so), share/taxferry/ (the SQL scripts and samples the first start makes the user's
# databases from).
stage=$build/stage/Taxferry
rm -rf "$build/stage"
cmake --install "$build" --prefix "$stage" --strip >/dev/null
printf '[Paths]\r\nPrefix = ..\r\n' >"$stage/bin/qt.conf"
mkdir -p "$stage/plugins"/{platforms,styles,sqldrivers,imageformats} "$stage/translations"
for p in platforms/qwindows platforms/qoffscreen platforms/qminimal styles/qwindowsvistastyle \
  sqldrivers/qsqlite sqldrivers/qsqlodbc imageformats/qico; do
  [ -f "$TF_QT/plugins/$p.dll" ] && install -m 0644 "$TF_QT/plugins/$p.dll" "$stage/plugins/$p.dll"
done
install -m 0644 /usr/share/qt6/translations/qtbase_zh_CN.qm "$stage/translations/"
install -m 0644 "$TF_REPO/LICENSE" "$stage/LICENSE.txt"

# The DLLs the programs and plugins load, found by walking their imports; Windows' own are not in these
# folders and stay out.
gccdir=$(dirname "$($TF_TRIPLE-g++-posix -print-libgcc-file-name)")
dll_dirs=("$TF_QT/bin" "$TF_DEPS/bin" "$gccdir" "/usr/$TF_TRIPLE/lib")
declare -A seen=()
add_imports() {
  local f=$1 dll d
  for dll in $($TF_TRIPLE-objdump -p "$f" | sed -n 's/^\s*DLL Name: //p'); do
    [ -n "${seen[${dll,,}]:-}" ] && continue
    seen[${dll,,}]=1
    for d in "${dll_dirs[@]}"; do
      if [ -f "$d/$dll" ]; then
        install -m 0755 "$d/$dll" "$stage/bin/$dll"
        $TF_TRIPLE-strip --strip-unneeded "$stage/bin/$dll"
        add_imports "$stage/bin/$dll"
        break
      fi
    done
  done
}
for f in "$stage"/bin/*.exe $(find "$stage/plugins" -name '*.dll'); do
  add_imports "$f"
done

# --- Installer and zip.
mkdir -p "$dist"
setup=$dist/Taxferry-$version-setup.exe
zipfile=$dist/Taxferry-$version-win64.zip
# What the uninstaller removes: exactly the files installed, then their folders if empty (the user's
# databases are in the per-user folder and stay).
uninstall_list=$build/uninstall-files.nsh
(
  cd "$stage"
  find . -type f | sed 's|^\./||' | sort | while read -r f; do
    printf 'Delete "$INSTDIR\\%s"\n' "${f//\//\\}"
  done
  find . -mindepth 1 -type d | sed 's|^\./||' | sort -r | while read -r d; do
    printf 'RMDir "$INSTDIR\\%s"\n' "${d//\//\\}"
  done
) >"$uninstall_list"
size_kb=$(du -sk "$stage" | cut -f1)
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" \
  -DICON="$build/src/app/icons/taxferry.ico" -DUNINSTALL_LIST="$uninstall_list" -DSIZE_KB="$size_kb" \
  "$TF_REPO/packaging/windows/taxferry.nsi"
rm -f "$zipfile"
(cd "$build/stage" && zip -qr9 "$zipfile" Taxferry)

echo "built in $((built - started)) s, packed in $(($(date +%s) - built)) s:"
ls -l "$setup" "$zipfile" | awk '{ printf "  %s  %.1f MB\n", $NF, $5 / 1048576 }'
