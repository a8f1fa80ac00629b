# cmake -DBUILD=DIR -DOUT=DIR -P PackageCheck.cmake: makes the Debian package
# with cpack into OUT and checks its name, its files, its maintainer script
# and that it depends on the run-time libraries the programs need.

# One line per library package the Depends line must name (a regular
# expression matched at the start of a dependency).
set(required_depends
    "libqt6core6"
    "libqt6widgets6"
    "libqt6serialport6"
    "pxlib1"
    "libshp[0-9]"
    "libnettle[0-9]"
    "libpq5"
    "adduser")
set(required_files
    ./usr/bin/varnel
    ./usr/bin/varnel-tool
    ./usr/bin/varnel-collect
    ./usr/bin/varnel-sim
    ./usr/share/applications/varnel.desktop
    ./usr/share/icons/hicolor/scalable/apps/varnel.svg
    ./usr/lib/systemd/system/varnel-collect.service)

file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND cpack -G DEB -B ${OUT} --config ${BUILD}/CPackConfig.cmake
                WORKING_DIRECTORY ${BUILD} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cpack failed: ${rc}\n${out}")
endif()
file(GLOB debs ${OUT}/*.deb)
list(LENGTH debs n)
if(NOT n EQUAL 1)
  message(FATAL_ERROR "expected one package in ${OUT}, found: ${debs}")
endif()
get_filename_component(name ${debs} NAME)
if(NOT name MATCHES "^varnel_[0-9][^_]*_[a-z0-9]+\\.deb$")
  message(FATAL_ERROR "package file name ${name} is not varnel_<version>_<arch>.deb")
endif()

execute_process(COMMAND dpkg-deb -c ${debs} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
foreach(f ${required_files})
  string(REPLACE "." "\\." re "${f}")
  if(NOT listing MATCHES " ${re}\n")
    message(FATAL_ERROR "${f} not in the package:\n${listing}")
  endif()
endforeach()

execute_process(COMMAND dpkg-deb -f ${debs} Package Depends OUTPUT_VARIABLE fields RESULT_VARIABLE rc)
if(NOT fields MATCHES "Package: varnel\n")
  message(FATAL_ERROR "package name:\n${fields}")
endif()
string(REGEX MATCH "Depends: [^\n]*" depends "${fields}")
foreach(d ${required_depends})
  if(NOT depends MATCHES "(: |, )${d}")
    message(FATAL_ERROR "${d} missing from ${depends}")
  endif()
endforeach()

# The unit starts the packaged collector; postinst makes its user.
execute_process(COMMAND dpkg-deb -x ${debs} ${OUT}/root RESULT_VARIABLE rc)
file(STRINGS ${OUT}/root/usr/lib/systemd/system/varnel-collect.service exec REGEX "^ExecStart=")
if(NOT exec STREQUAL "ExecStart=/usr/bin/varnel-collect")
  message(FATAL_ERROR "the packaged unit starts '${exec}'")
endif()
execute_process(COMMAND dpkg-deb -I ${debs} postinst OUTPUT_VARIABLE postinst RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT postinst MATCHES "adduser [^\n]*varnel dialout")
  message(FATAL_ERROR "postinst missing or does not put varnel into dialout")
endif()
file(SIZE ${debs} size)
message(STATUS "${name}: ${size} bytes; ${depends}")
file(REMOVE_RECURSE ${OUT})
