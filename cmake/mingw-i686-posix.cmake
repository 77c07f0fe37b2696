# Cross build for 32-bit Windows with Debian's mingw-w64.  The posix thread
# model is the one whose libstdc++ has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(ORBISK_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ORBISK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORBISK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORBISK_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${ORBISK_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${ORBISK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SSE2 arithmetic, as on x86-64: the x87 unit's wider intermediates read a
# few bursts (one in 500 random ones) into other codes than the Linux
# build does, and a key code must not depend on the system.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# Nothing but Windows' own DLLs at run time: the compiler's runtime and
# winpthread go into every binary.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run under Wine; scripts/wine-env.sh prepares the prefix.
find_program(ORBISK_WINE wine)
if(ORBISK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ORBISK_WINE})
endif()
