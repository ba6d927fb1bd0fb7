# cmake -DPREFIX=... -DFIXTURES=... -DWORK_DIR=... -DSOURCE_DIR=... -P tumbler_test.cmake
# Debian's thumbnail service, headless on a private session bus, making a
# thumbnail of a generated EMF with the installed thumbnailer (the
# desktop.Thumbnailer test installs it). Skipped without tumbler.
find_program(TUMBLERD tumblerd PATHS /usr/lib/x86_64-linux-gnu/tumbler-1 /usr/lib/tumbler-1
  /usr/libexec/tumbler-1 NO_DEFAULT_PATH)
find_program(DBUS_RUN_SESSION dbus-run-session)
find_program(PYTHON /usr/bin/python3)
if(PYTHON)
  execute_process(COMMAND ${PYTHON} -c "import dbus" RESULT_VARIABLE no_dbus OUTPUT_QUIET ERROR_QUIET)
endif()
if(NOT TUMBLERD OR NOT DBUS_RUN_SESSION OR NOT PYTHON OR no_dbus)
  message("SKIP: needs tumbler, dbus-run-session and python3-dbus")
  return()
endif()
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/files)
execute_process(COMMAND ${FIXTURES} ${WORK_DIR}/files RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "fixtures: ${rc}")
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env XDG_DATA_DIRS=${PREFIX}/share:/usr/local/share:/usr/share
    XDG_CACHE_HOME=${WORK_DIR}/cache XDG_CONFIG_HOME=${WORK_DIR}/config
    ${DBUS_RUN_SESSION} -- ${PYTHON} ${SOURCE_DIR}/tumbler_queue.py
    file://${WORK_DIR}/files/halves.emf image/emf normal
  TIMEOUT 60 RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(STRIP "${out}" thumb)
if(NOT rc EQUAL 0 OR NOT EXISTS "${thumb}")
  message(FATAL_ERROR "no thumbnail from the service (${rc}):\n${out}\n${err}")
endif()
# The normal flavour is 128 pixels; a 4 x 2 inch picture fills its width.
file(READ ${thumb} head HEX LIMIT 24)
string(SUBSTRING "${head}" 32 8 w)
string(SUBSTRING "${head}" 40 8 h)
math(EXPR w "0x${w}")
math(EXPR h "0x${h}")
if(NOT w EQUAL 128 OR NOT h EQUAL 64)
  message(FATAL_ERROR "${thumb}: ${w} x ${h}, expected 128 x 64")
endif()
message(STATUS "tumbler made ${thumb}")
