# The native build: our own platform layer and metafile player under the core.
find_package(PkgConfig REQUIRED)
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(FRIBIDI REQUIRED IMPORTED_TARGET fribidi)
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
find_package(Threads REQUIRED)

file(GLOB_RECURSE VELLORA_GDI_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/gdi/*.cpp)
file(GLOB VELLORA_PLAYER_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/player/*.cpp)
file(GLOB VELLORA_NATIVE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/platform/native/*.cpp)

# The emulated device context: fonts through FreeType, fontconfig and
# FriBidi, DIBs holding PNG or JPEG through libpng and libjpeg.
add_library(vellora_gdi STATIC ${VELLORA_GDI_SOURCES})
target_link_libraries(vellora_gdi PUBLIC vellora_base PkgConfig::FREETYPE PkgConfig::FONTCONFIG
  PkgConfig::FRIBIDI PNG::PNG JPEG::JPEG Threads::Threads)
vellora_warnings(vellora_gdi)
# Outline versions of the Windows system faces, as Debian's fonts-wine
# package installs them; fontconfig does not index this directory.
set(VELLORA_SYSTEM_FACES_DIR "/usr/share/wine/fonts" CACHE PATH
    "Directory of outline Windows system faces (Symbol, Tahoma, MS Sans Serif)")
target_compile_definitions(vellora_gdi PRIVATE VELLORA_SYSTEM_FACES_DIR="${VELLORA_SYSTEM_FACES_DIR}")

add_library(vellora_player STATIC ${VELLORA_PLAYER_SOURCES})
target_link_libraries(vellora_player PUBLIC vellora_gdi)
vellora_warnings(vellora_player)

add_library(vellora_platform_native STATIC ${VELLORA_NATIVE_SOURCES})
target_link_libraries(vellora_platform_native PUBLIC vellora_player Threads::Threads)
vellora_warnings(vellora_platform_native)

# The core, and the pictures of vellora.h that the native build adds to the exports.
vellora_add_core(vellora_platform_native src/api/picture_api.cpp)

# vellora_core is everything, static: what the tests, tools and the command
# link. libvellora.so holds the same objects; only the functions of
# vellora.h are visible.
add_library(vellora SHARED $<TARGET_OBJECTS:vellora_core> $<TARGET_OBJECTS:vellora_platform_native>
  $<TARGET_OBJECTS:vellora_player> $<TARGET_OBJECTS:vellora_gdi>)
target_link_libraries(vellora PRIVATE vellora_agg PkgConfig::FREETYPE PkgConfig::FONTCONFIG
  PkgConfig::FRIBIDI PNG::PNG JPEG::JPEG Threads::Threads)
target_include_directories(vellora PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:include>)
set_target_properties(vellora PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION 0
  PUBLIC_HEADER include/vellora.h)
target_link_options(vellora PRIVATE
  "-Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/vellora.map" "-Wl,--no-undefined")
set_property(TARGET vellora APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/vellora.map)

# ---- install: the library, its header, pkg-config and CMake package files
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
install(TARGETS vellora EXPORT VelloraTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# vellora.pc names the prefix given at install time (cmake --install --prefix),
# so it is filled in twice: directories now, the prefix when installing.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(VELLORA_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  set(VELLORA_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(VELLORA_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(VELLORA_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
set(VELLORA_PC_PREFIX "@VELLORA_PC_PREFIX@")
configure_file(${PROJECT_SOURCE_DIR}/cmake/vellora.pc.in ${PROJECT_BINARY_DIR}/vellora.pc.stage @ONLY)
install(CODE "set(VELLORA_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(\"${PROJECT_BINARY_DIR}/vellora.pc.stage\" \"${PROJECT_BINARY_DIR}/vellora.pc\" @ONLY)")
install(FILES ${PROJECT_BINARY_DIR}/vellora.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(VELLORA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vellora)
install(EXPORT VelloraTargets NAMESPACE Vellora:: DESTINATION ${VELLORA_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VelloraConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VelloraConfig.cmake INSTALL_DESTINATION ${VELLORA_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VelloraConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VelloraConfig.cmake
  ${PROJECT_BINARY_DIR}/VelloraConfigVersion.cmake DESTINATION ${VELLORA_CMAKE_DIR})

# The command, its man page and its tests.
if(EXISTS ${PROJECT_SOURCE_DIR}/cli/CMakeLists.txt)
  add_subdirectory(cli)
endif()

# The thumbnailer, MIME types and GdkPixbuf loader (they need the command).
if(EXISTS ${PROJECT_SOURCE_DIR}/desktop/CMakeLists.txt AND TARGET vellora_cli)
  add_subdirectory(desktop)
endif()

if(EXISTS ${PROJECT_SOURCE_DIR}/tools/CMakeLists.txt)
  add_subdirectory(tools)
endif()
if(VELLORA_TESTS OR VELLORA_BENCH)
  add_subdirectory(tests/support)
endif()
if(VELLORA_TESTS)
  add_subdirectory(tests)
endif()
add_subdirectory(python)
if(VELLORA_FUZZ)
  add_subdirectory(fuzz)
endif()
if(VELLORA_BENCH AND EXISTS ${PROJECT_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()
