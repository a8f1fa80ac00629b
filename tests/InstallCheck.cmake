# cmake -DBUILD=DIR -DPREFIX=DIR -P InstallCheck.cmake: installs the build
# into PREFIX and checks that the programs, the desktop entry and the icon
# are where a desktop looks for them.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(f bin/varnel bin/varnel-tool bin/varnel-sim share/applications/varnel.desktop
          share/icons/hicolor/scalable/apps/varnel.svg)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "${f} not installed")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
