# Cross-building the Windows executables (32-bit x86) with Debian's mingw-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(OSTREL_MINGW_PREFIX i686-w64-mingw32)
# Single-precision arithmetic in SSE registers, rounded to float after every
# operation as on x86-64: x87's extended precision would change results such
# as the track evaluation's single-precision subtraction.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
