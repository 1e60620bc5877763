# Cross-building for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, which Qt needs for
# std::thread), against the Qt and the libraries scripts/windows/build-qt.sh keeps in the user's cache.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAXFERRY_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAXFERRY_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAXFERRY_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TAXFERRY_MINGW}-windres)

if(NOT TAXFERRY_WIN_CACHE)
  if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(TAXFERRY_WIN_CACHE "$ENV{XDG_CACHE_HOME}/taxferry")
  else()
    set(TAXFERRY_WIN_CACHE "$ENV{HOME}/.cache/taxferry")
  endif()
endif()

# Host programs (moc, rcc, uic come through QT_HOST_PATH) from the host; everything linked from the MinGW
# sysroot or the cache, never from the host's /usr.
set(CMAKE_FIND_ROOT_PATH /usr/${TAXFERRY_MINGW} ${TAXFERRY_WIN_CACHE}/qt-mingw ${TAXFERRY_WIN_CACHE}/mingw-deps)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must not hand out the host's libraries either: only the .pc files of the cache.
set(ENV{PKG_CONFIG_LIBDIR} "${TAXFERRY_WIN_CACHE}/mingw-deps/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
