# What both mingw-w64 toolchain files share; OSTREL_MINGW_PREFIX names the
# compiler triple.
set(CMAKE_C_COMPILER ${OSTREL_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${OSTREL_MINGW_PREFIX}-g++)
set(CMAKE_ASM_COMPILER ${OSTREL_MINGW_PREFIX}-gcc)
set(CMAKE_RC_COMPILER ${OSTREL_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${OSTREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Nothing but the executable is needed beside it: the compiler's own
# libraries (libgcc, libstdc++) are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The programs import only kernel32, user32 and the C runtime (msvcrt);
# gdi32, opengl32 and winmm are loaded by name at run time. CMake's usual
# list of system libraries is cut to those two. The compiler driver still
# offers a few more (gdi32 with -mwindows, advapi32, shell32), so a stray call
# would link: the import-table test (tests/e2e/wine_show.cpp) catches it.
set(CMAKE_C_STANDARD_LIBRARIES "-lkernel32 -luser32" CACHE STRING
  "system libraries every program links")
set(CMAKE_CXX_STANDARD_LIBRARIES "-lkernel32 -luser32" CACHE STRING
  "system libraries every program links")
