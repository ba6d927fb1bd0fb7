# Cross build of the DLL's x86_64 twin: the same sources, for running the
# Windows tests under 64-bit Wine on machines that cannot run 32-bit programs.
# SSE2 is the x86_64 baseline, so doubles round exactly as in the 32-bit DLL.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(_mingw x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
