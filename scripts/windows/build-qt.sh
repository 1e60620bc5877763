#!/usr/bin/env bash
# Cross-builds, once, what the Windows build of Taxferry links, from Debian's own sources: Qt (qtbase:
# Core, Gui, Widgets, Network, Sql with the SQLite and ODBC drivers, Test, the windows and offscreen
# platforms), SQLite (Qt's driver and the program's own inserts share its DLL), zlib and minizip.
# Everything goes to ${XDG_CACHE_HOME:-~/.cache}/taxferry; a second run finds it there and does nothing.
#
# Left out, because Debian's archive as this machine reaches it has no source for them, or the Windows
# build does without: qt6-svg (the Windows build carries the icon as PNG and ICO), QtKeychain (the program
# talks to the Credential Manager itself), libpq (PostgreSQL through ODBC, psqlODBC).
set -euo pipefail
source "$(dirname "$0")/common.sh"

if [ -f "$TF_QT/.taxferry-built" ] && [ -f "$TF_DEPS/.taxferry-built" ]; then
  echo "MinGW Qt already built: $TF_QT"
  exit 0
fi

tf_need_packages g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
  mingw-w64-tools cmake ninja-build make gcc patch tcl dpkg-dev xz-utils bzip2 qt6-base-dev qt6-base-dev-tools
tf_enable_sources

src=$TF_CACHE/src
build=$TF_CACHE/build
mkdir -p "$src" "$build" "$TF_DEPS"/{bin,lib,include,lib/pkgconfig}
jobs=$(tf_jobs)
started=$(date +%s)
trap 'tf_log "build-qt.sh failed at line $LINENO; the logs are in $build"' ERR

# A source package's files, at VERSION when given. When the pocket that carries the newest version (the
# security archive, say) does not answer, the release's own version is taken.
fetch() {
  local pkg=$1 want=${2:-} dir=$src/$1
  ls "$dir"/*.dsc >/dev/null 2>&1 && return 0
  mkdir -p "$dir"
  if [ -n "$want" ]; then
    tf_source "$pkg=$want" "$dir"
  elif ! tf_source "$pkg" "$dir"; then
    rm -f "$dir"/*
    tf_source "$pkg/$(. /etc/os-release && echo "$VERSION_CODENAME")" "$dir"
  fi
}

# Unpacks a source package with Debian's patches applied: unpack PACKAGE DIR.
unpack() {
  rm -rf "$2"
  dpkg-source --no-check -x "$(ls "$src/$1"/*.dsc | head -n1)" "$2" >/dev/null
  # dpkg-source leaves links to the tarballs beside the folder.
  find "$(dirname "$2")" -maxdepth 1 -name '*.orig*.tar.*' -delete
}

# --- SQLite: the amalgamation made from Debian's source with Debian's options (its debian/rules), as a
# DLL, so that Qt's driver and the program use one library (the program writes through the driver's handle).
if ! [ -f "$TF_DEPS/bin/libsqlite3-0.dll" ]; then
  tf_log "== SQLite"
  fetch sqlite3
  unpack sqlite3 "$build/sqlite3"
  sqlite_flags="-DSQLITE_SECURE_DELETE -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_FTS3
    -DSQLITE_ENABLE_FTS3_PARENTHESIS -DSQLITE_ENABLE_RTREE=1 -DSQLITE_SOUNDEX=1 -DSQLITE_ENABLE_UNLOCK_NOTIFY
    -DSQLITE_OMIT_LOOKASIDE=1 -DSQLITE_ENABLE_DBSTAT_VTAB -DSQLITE_ALLOW_ROWID_IN_VIEW
    -DSQLITE_ENABLE_UPDATE_DELETE_LIMIT=1 -DSQLITE_ENABLE_LOAD_EXTENSION -DSQLITE_ENABLE_JSON1
    -DSQLITE_LIKE_DOESNT_MATCH_BLOBS -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_FTS3_TOKENIZER=1 -DSQLITE_USE_URI=1
    -DSQLITE_MAX_SCHEMA_RETRY=25 -DSQLITE_ENABLE_PREUPDATE_HOOK -DSQLITE_ENABLE_SESSION -DSQLITE_ENABLE_STMTVTAB
    -DSQLITE_MAX_VARIABLE_NUMBER=250000"
  sqlite_flags=$(echo $sqlite_flags)
  (
    cd "$build/sqlite3"
    # The amalgamation is generated on the host (its parser follows the options, hence CFLAGS here).
    ./configure --disable-tcl CFLAGS="-O2 $sqlite_flags" >configure.log 2>&1
    make -j"$jobs" sqlite3.c >make.log 2>&1
    $TF_TRIPLE-gcc-posix -O2 -fno-strict-aliasing $sqlite_flags -DSQLITE_API='__declspec(dllexport)' \
      -shared sqlite3.c -o libsqlite3-0.dll -Wl,--out-implib,libsqlite3.dll.a
    install -m 0644 sqlite3.h sqlite3ext.h "$TF_DEPS/include/"
    install -m 0644 libsqlite3.dll.a "$TF_DEPS/lib/"
    install -m 0755 libsqlite3-0.dll "$TF_DEPS/bin/"
    cat >"$TF_DEPS/lib/pkgconfig/sqlite3.pc" <<PC
prefix=$TF_DEPS
Name: SQLite
Description: SQL database engine (MinGW-w64 build of Debian's source)
Version: $(cat VERSION)
Libs: -L\${prefix}/lib -lsqlite3
Cflags: -I\${prefix}/include
PC
  )
  rm -rf "$build/sqlite3"
fi

# --- zlib and minizip, from Debian's zlib source (minizip is its contrib/minizip, as Debian's libminizip);
# static, the program being their only user.
if ! [ -f "$TF_DEPS/lib/libminizip.a" ]; then
  tf_log "== zlib, minizip"
  fetch zlib
  unpack zlib "$build/zlib"
  (
    cd "$build/zlib"
    # Debian's tarball has no win32 folder: the library is compiled here, static, as minizip is.
    for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees \
      trees uncompr zutil; do
      $TF_TRIPLE-gcc-posix -O2 -c $f.c -o $f.o
    done
    $TF_TRIPLE-ar rcs libz.a ./*.o
    install -m 0644 libz.a "$TF_DEPS/lib/"
    install -m 0644 zlib.h zconf.h "$TF_DEPS/include/"
    cd contrib/minizip
    mkdir -p "$TF_DEPS/include/minizip"
    # iowin32: the functions that open files by their wide (Unicode) names.
    for f in ioapi unzip zip iowin32; do
      $TF_TRIPLE-gcc-posix -O2 -I"$TF_DEPS/include" -c $f.c -o $f.o
    done
    $TF_TRIPLE-ar rcs libminizip.a ioapi.o unzip.o zip.o iowin32.o
    install -m 0644 libminizip.a "$TF_DEPS/lib/"
    install -m 0644 ioapi.h unzip.h zip.h iowin32.h crypt.h "$TF_DEPS/include/minizip/"
    cat >"$TF_DEPS/lib/pkgconfig/minizip.pc" <<PC
prefix=$TF_DEPS
Name: minizip
Description: zip and unzip on zlib (MinGW-w64 build of Debian's source)
Version: 1.2.13
Libs: -L\${prefix}/lib -lminizip -lz
Cflags: -I\${prefix}/include/minizip -I\${prefix}/include
PC
  )
  rm -rf "$build/zlib"
fi
touch "$TF_DEPS/.taxferry-built"

# --- Qt: qtbase at the version of the host tools (moc, rcc and uic come from there).
if ! [ -f "$TF_QT/.taxferry-built" ]; then
  tf_log "== Qt (about 40 minutes on two cores)"
  qtver=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
  fetch qt6-base "$qtver"
  qtsrc=$build/qtbase-src
  if ! [ -f "$qtsrc/.unpacked" ]; then
    rm -rf "$qtsrc"
    mkdir -p "$qtsrc"
    tar -xJf "$(ls "$src/qt6-base"/*.orig.tar.xz)" -C "$qtsrc" --strip-components=1
    # Debian's security fixes (one is in the ODBC driver); its other patches are for Debian's own builds.
    tar -xJf "$(ls "$src/qt6-base"/*.debian.tar.xz)" -C "$qtsrc" debian/patches
    for p in $(grep -E '^cve-' "$qtsrc/debian/patches/series"); do
      patch -d "$qtsrc" -p1 -s <"$qtsrc/debian/patches/$p"
    done
    touch "$qtsrc/.unpacked"
  fi
  qtbuild=$build/qtbase
  mkdir -p "$qtbuild"
  # Debian's tarball lacks the bundled SQLite and wintab: the system SQLite built above, no tablet events.
  # Without OpenGL, dynamic GL must be off too (the windows platform plugin would want it). Direct2D stays
  # on: without it QtGui leaves out the DirectWrite font database that the platform plugin links.
  cmake -S "$qtsrc" -B "$qtbuild" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$TF_TOOLCHAIN" -DTAXFERRY_WIN_CACHE="$TF_CACHE" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$TF_QT" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_icu=OFF -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_dbus=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_vulkan=OFF -DFEATURE_direct2d=ON -DFEATURE_printsupport=OFF \
    -DFEATURE_zstd=OFF -DINPUT_openssl=no \
    -DFEATURE_sql_odbc=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON \
    -DSQLite3_INCLUDE_DIR="$TF_DEPS/include" -DSQLite3_LIBRARY="$TF_DEPS/lib/libsqlite3.dll.a" \
    -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF \
    -DFEATURE_sql_db2=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_doubleconversion=OFF >"$build/qtbase-configure.log" 2>&1 ||
    { tail -n 40 "$build/qtbase-configure.log"; exit 1; }
  cmake --build "$qtbuild" --parallel "$jobs" >"$build/qtbase-build.log" 2>&1 ||
    { grep -m5 -B2 -A10 'error' "$build/qtbase-build.log" | tail -n 60; exit 1; }
  cmake --install "$qtbuild" >"$build/qtbase-install.log" 2>&1
  touch "$TF_QT/.taxferry-built"
  rm -rf "$qtbuild" "$qtsrc"
fi

echo "MinGW Qt built in $(( ($(date +%s) - started) / 60 )) min: $TF_QT ($(du -sh "$TF_QT" | cut -f1)), libraries in $TF_DEPS"
