# The Windows build: Vellora.dll on the platform's own graphics calls.
file(GLOB VELLORA_WIN32_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/platform/win32/*.cpp)
# Vellora.def names the exports and their ordinals once, for both machines. Its
# names carry the stdcall decoration (name@N) of 32-bit x86; x86_64 has one
# calling convention and no decoration, so the twin gets a copy without it.
set(VELLORA_DEF ${PROJECT_SOURCE_DIR}/src/platform/win32/Vellora.def)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VELLORA_WIN_MACHINE x86_64)
  file(READ ${VELLORA_DEF} _def)
  string(REGEX REPLACE "([A-Za-z_][A-Za-z0-9_]*)@[0-9]+([ \t]+@)" "\\1\\2" _def "${_def}")
  set(VELLORA_DEF ${CMAKE_BINARY_DIR}/Vellora.def)
  file(CONFIGURE OUTPUT ${VELLORA_DEF} CONTENT "${_def}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/src/platform/win32/Vellora.def)
else()
  set(VELLORA_WIN_MACHINE i686)
endif()

# Everything the tests and tools build lands beside the DLL, where Windows
# looks for it first.
set(VELLORA_WIN32_BIN ${CMAKE_BINARY_DIR}/bin)
file(MAKE_DIRECTORY ${VELLORA_WIN32_BIN})

add_library(vellora_platform_win32 STATIC ${VELLORA_WIN32_SOURCES})
target_link_libraries(vellora_platform_win32 PUBLIC vellora_base gdi32 msimg32 user32 kernel32)
vellora_warnings(vellora_platform_win32)

# The core over it, static: what the tests of the core's internals on the
# target link. Vellora.dll holds the same objects.
vellora_add_core(vellora_platform_win32)

add_library(vellora_dll SHARED
  $<TARGET_OBJECTS:vellora_core> $<TARGET_OBJECTS:vellora_platform_win32> ${VELLORA_DEF})
target_link_libraries(vellora_dll PRIVATE vellora_agg gdi32 msimg32 user32 kernel32)
# The linker's own import library would name the exports without @N, which
# stdcall callers cannot link; it goes aside and dlltool makes the real one.
set_target_properties(vellora_dll PROPERTIES
  OUTPUT_NAME Vellora PREFIX "" SUFFIX ".dll"
  RUNTIME_OUTPUT_DIRECTORY ${VELLORA_WIN32_BIN}
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/ld-implib)
# -static takes libgcc, libstdc++ and winpthread in, so the DLL imports only
# system DLLs. --kill-at exports the plain names of the .def.
target_link_options(vellora_dll PRIVATE -static -static-libgcc -static-libstdc++
  -Wl,--kill-at -Wl,--enable-stdcall-fixup)

set(VELLORA_IMPLIB ${VELLORA_WIN32_BIN}/libVellora.dll.a)
add_custom_command(OUTPUT ${VELLORA_IMPLIB}
  COMMAND ${CMAKE_DLLTOOL} -k -d ${VELLORA_DEF} -D Vellora.dll -l libVellora.dll.a
  DEPENDS ${VELLORA_DEF}
  WORKING_DIRECTORY ${VELLORA_WIN32_BIN}
  COMMENT "Import library for stdcall callers")
add_custom_target(vellora_implib ALL DEPENDS ${VELLORA_IMPLIB})

# Callers link this: the import library, and the DLL built before them.
add_library(Vellora INTERFACE)
add_dependencies(Vellora vellora_dll vellora_implib)
target_link_libraries(Vellora INTERFACE ${VELLORA_IMPLIB})
target_include_directories(Vellora INTERFACE ${PROJECT_SOURCE_DIR}/include)

install(TARGETS vellora_dll RUNTIME DESTINATION bin)
install(FILES ${VELLORA_IMPLIB} DESTINATION lib)
install(FILES ${PROJECT_SOURCE_DIR}/include/vellora.h DESTINATION include)

# Running Windows programs here: Wine of the build's own word size, in a prefix
# of the build's own. Debian's loaders are called directly: /usr/bin/wine
# would pick 32-bit Wine whenever it is installed.
if(VELLORA_WIN_MACHINE STREQUAL x86_64)
  find_program(VELLORA_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(VELLORA_WINE NAMES wine64 wine64-stable)
  set(VELLORA_WINEARCH win64)
  set(_wine_pkgs "wine64")
else()
  find_program(VELLORA_WINE NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(VELLORA_WINE NAMES wine wine-stable)
  set(VELLORA_WINEARCH win32)
  set(_wine_pkgs "wine and wine32:i386")
endif()
if(NOT VELLORA_WINE)
  message(WARNING "Wine not found: the DLL builds, but its tests cannot run "
    "(scripts/setup installs ${_wine_pkgs}).")
endif()
set(VELLORA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${PROJECT_SOURCE_DIR}/tests/wine/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)
set(VELLORA_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)

# The Windows build's own tests and tools.
if(VELLORA_TESTS)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/wine ${CMAKE_BINARY_DIR}/tests/wine)
endif()
add_subdirectory(${PROJECT_SOURCE_DIR}/tools/diff-harness ${CMAKE_BINARY_DIR}/tools/diff-harness)
add_subdirectory(${PROJECT_SOURCE_DIR}/tools/reference-suite ${CMAKE_BINARY_DIR}/tools/reference-suite)
