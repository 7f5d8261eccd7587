# Installs the build into a scratch prefix and checks what a desktop's
# software centre reads: the AppStream metainfo (validated with appstreamcli,
# without the network) and the desktop entry it names.
# Usage: cmake -DBUILD=<build dir> -DPREFIX=<scratch prefix> -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc})")
endif()
set(metainfo "${PREFIX}/share/metainfo/com.harvosa.TavelinMarvet.metainfo.xml")
foreach(f "${metainfo}" "${PREFIX}/share/applications/tavelin-marvet.desktop" "${PREFIX}/bin/tavelin")
  if(NOT EXISTS "${f}")
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
find_program(APPSTREAMCLI appstreamcli REQUIRED)
execute_process(COMMAND "${APPSTREAMCLI}" validate --no-net "${metainfo}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "appstreamcli validate failed:\n${out}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
