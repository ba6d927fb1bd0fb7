# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DGENERATOR=... -P install_test.cmake
# Installs the build into WORK_DIR/prefix and uses it as a Linux user would.
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " cmd "${ARGN}")
    message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# Where a Linux user expects each piece, and the library's name chain.
foreach(f bin/vellora include/vellora.h share/man/man1/vellora.1 lib/pkgconfig/vellora.pc
          lib/cmake/Vellora/VelloraConfig.cmake lib/cmake/Vellora/VelloraConfigVersion.cmake
          lib/cmake/Vellora/VelloraTargets.cmake lib/libvellora.so lib/libvellora.so.0)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
if(NOT IS_SYMLINK ${prefix}/lib/libvellora.so OR NOT IS_SYMLINK ${prefix}/lib/libvellora.so.0)
  message(FATAL_ERROR "libvellora.so and libvellora.so.0 should be links to the versioned file")
endif()
run(objdump -p ${prefix}/lib/libvellora.so)
if(NOT last_output MATCHES "SONAME +libvellora\\.so\\.0")
  message(FATAL_ERROR "no SONAME libvellora.so.0:\n${last_output}")
endif()

# The installed command runs from there.
run(${prefix}/bin/vellora --version)
if(NOT last_output MATCHES "^vellora [0-9]")
  message(FATAL_ERROR "unexpected --version output: ${last_output}")
endif()

# A C program through pkg-config, the way a Makefile would do it.
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
run(pkg-config --cflags --libs vellora)
string(STRIP "${last_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(pkg-config --variable=libdir vellora)
string(STRIP "${last_output}" libdir)
run(cc -std=c99 -Wall -Werror ${SOURCE_DIR}/package_consumer/consumer.c ${flags}
    -Wl,-rpath,${libdir} -o ${WORK_DIR}/consumer-pc)
run(${WORK_DIR}/consumer-pc)

# A CMake project through find_package(Vellora).
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/package_consumer -B ${WORK_DIR}/consumer-build
    -G ${GENERATOR} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer-build)
run(${WORK_DIR}/consumer-build/consumer)
message(STATUS "installed package works: ${prefix}")
