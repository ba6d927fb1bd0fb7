# Cross build of Vellora.dll, the 32-bit Windows product.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(_mingw i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# SSE2 arithmetic: doubles rounded as doubles, as on the native build, so the
# core and AGG compute the same values in both products (x87's wider
# intermediates would move truncations near whole numbers).
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
