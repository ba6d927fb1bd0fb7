# What both Windows toolchain files share; they set _mingw (the triplet) and
# CMAKE_SYSTEM_PROCESSOR first. Debian's mingw-w64, posix thread model (so
# std::thread works in the tests); everything is linked statically.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER NAMES ${_mingw}-gcc-posix ${_mingw}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_mingw}-g++-posix ${_mingw}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_mingw}-windres)
find_program(CMAKE_DLLTOOL NAMES ${_mingw}-dlltool REQUIRED)
find_program(CMAKE_OBJDUMP NAMES ${_mingw}-objdump REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
