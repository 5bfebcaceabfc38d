# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX threads); programs and tests run
# under Wine without a display. Linked statically, so that no MinGW DLL has to be found.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Wine keeps its Windows folder in WINEPREFIX: one in the build folder, made on the first run
# (about 15 s). No display, no messages, and no offer to install Mono or Gecko, which the tests
# do not need.
find_program(MESSWERTE_WINE NAMES wine64 wine PATHS /usr/lib/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES=mscoree,mshtml=
    ${MESSWERTE_WINE})
