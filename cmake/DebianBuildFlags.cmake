# Debian's compiler and linker flags for a package (dpkg-buildflags, package dpkg-dev) with every hardening
# feature: -fstack-protector-strong, -D_FORTIFY_SOURCE=2, -Wformat -Werror=format-security, -Wl,-z,relro
# and -Wl,-z,now, among others. CPPFLAGS go with the compiler's flags, since CMake has no place of its own
# for them.
find_program(TAXFERRY_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${TAXFERRY_DPKG_BUILDFLAGS} --get ${kind}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(TAXFERRY_DEB_${kind} "${flags}")
endforeach()
string(APPEND CMAKE_CXX_FLAGS " ${TAXFERRY_DEB_CPPFLAGS} ${TAXFERRY_DEB_CXXFLAGS}")
string(APPEND CMAKE_EXE_LINKER_FLAGS " ${TAXFERRY_DEB_LDFLAGS}")
message(STATUS "Package build: CXXFLAGS ${CMAKE_CXX_FLAGS}; LDFLAGS ${CMAKE_EXE_LINKER_FLAGS}")
