# Build steps of the packaging files, run as cmake -P with -D settings:
#   STEP=man  SCDOC= PERL= GZIP= FIXUP= VERSION= DATE= IN= OUT=   a manual page from its scdoc source,
#                                                                gzipped as Debian installs them
#   STEP=gzip GZIP= IN= OUT=                                     a file gzipped (-9n: no name, no time)
# A failed step leaves no output behind, so the next build runs it again.
cmake_minimum_required(VERSION 3.25)

function(run_piped)
  execute_process(${ARGN} INPUT_FILE ${IN} OUTPUT_FILE ${OUT}.part RESULTS_VARIABLE results
                  ERROR_VARIABLE errors)
  foreach(r IN LISTS results)
    if(NOT r EQUAL 0)
      file(REMOVE ${OUT}.part)
      message(FATAL_ERROR "${IN}: ${errors}")
    endif()
  endforeach()
  file(RENAME ${OUT}.part ${OUT})
endfunction()

if(STEP STREQUAL "man")
  run_piped(COMMAND ${SCDOC} COMMAND ${PERL} ${FIXUP} ${VERSION} ${DATE} COMMAND ${GZIP} -9n)
elseif(STEP STREQUAL "gzip")
  run_piped(COMMAND ${GZIP} -9n)
else()
  message(FATAL_ERROR "BuildDoc.cmake: unknown STEP '${STEP}'")
endif()
