# cmake -DBUILD=DIR -DPREFIX=DIR -P InstallCheck.cmake: installs the build
# into PREFIX and checks that the programs, the desktop entry, the icon and
# the collector's systemd unit are where a desktop and systemd look for them,
# that the unit starts the installed collector, and that the collector links
# no Qt Widgets or Gui.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
set(unit ${PREFIX}/lib/systemd/system/varnel-collect.service)
foreach(f bin/varnel bin/varnel-tool bin/varnel-sim bin/varnel-collect
          share/applications/varnel.desktop share/icons/hicolor/scalable/apps/varnel.svg
          lib/systemd/system/varnel-collect.service)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "${f} not installed")
  endif()
endforeach()

file(STRINGS ${unit} exec REGEX "^ExecStart=")
if(NOT exec STREQUAL "ExecStart=${PREFIX}/bin/varnel-collect")
  message(FATAL_ERROR "the unit starts '${exec}', not the installed collector")
endif()

execute_process(COMMAND ldd ${PREFIX}/bin/varnel-collect OUTPUT_VARIABLE libs RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT libs MATCHES "libQt6Core")
  message(FATAL_ERROR "ldd varnel-collect failed: ${rc}")
endif()
if(libs MATCHES "libQt6(Widgets|Gui)")
  message(FATAL_ERROR "varnel-collect links Qt Widgets or Gui:\n${libs}")
endif()

# systemd's own reading of the unit, where systemd is at hand.
find_program(SYSTEMD_ANALYZE systemd-analyze)
if(SYSTEMD_ANALYZE)
  execute_process(COMMAND ${SYSTEMD_ANALYZE} verify ${unit} RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE out)
  # A line it cannot parse is only a warning ("..., ignoring") naming the file.
  if(NOT rc EQUAL 0 OR out MATCHES "varnel-collect\\.service:")
    message(FATAL_ERROR "systemd-analyze verify: ${rc}\n${out}")
  endif()
else()
  message(STATUS "systemd-analyze not found: the unit is not verified")
endif()
file(REMOVE_RECURSE ${PREFIX})
