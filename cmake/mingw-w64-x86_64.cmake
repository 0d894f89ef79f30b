# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model:
# the win32 thread variant cannot build std::thread). The executables are
# linked statically so that they need nothing installed on the Windows side.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TPG_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TPG_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TPG_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TPG_MINGW_PREFIX}-windres)
set(CMAKE_AR ${TPG_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${TPG_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${TPG_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 10 and later: GetDpiForWindow and per-monitor DPI awareness.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX)
# GCC 12 at -O2 reports a false -Wrestrict overlap inside std::string's
# inlined concatenation (GCC bug 105329); it is silenced for this build.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test executables run under Wine.
find_program(TPG_WINE NAMES wine wine64)
if(TPG_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TPG_WINE})
endif()
