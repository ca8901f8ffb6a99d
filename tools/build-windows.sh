#!/bin/sh
# Builds the Windows executables on Debian 12 with mingw-w64: the x86-64
# programs into build-windows/bin/ and the 32-bit x86 ones into
# build-windows-i686/bin/ (ostrel-512.exe, ostrel-1024.exe, ostrel-full.exe,
# ostrel-full-quarter.exe, and ostrel-win32-tests.exe, the Win32 host's
# checks that the Wine tests run).
#
# The content block is made by native tools (the soundtrack's synthesiser
# and the content builder), so the native build's content step runs first;
# the cross builds assemble what it wrote.
#
# The folders can be changed with OSTREL_NATIVE_BUILD, OSTREL_WINDOWS_BUILD
# and OSTREL_WINDOWS_I686_BUILD (relative to the source tree).
set -eu
cd "$(dirname "$0")/.."
native=${OSTREL_NATIVE_BUILD:-build}
win64=${OSTREL_WINDOWS_BUILD:-build-windows}
win32=${OSTREL_WINDOWS_I686_BUILD:-build-windows-i686}

cmake --preset default -B "$native"
cmake --build "$native" -j2 --target ostrel_content_files
for build in "windows $win64" "windows-i686 $win32"; do
  set -- $build
  cmake --preset "$1" -B "$2" -DOSTREL_NATIVE_CONTENT_DIR="$PWD/$native/content"
  cmake --build "$2" -j2
done
