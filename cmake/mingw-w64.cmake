# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix thread
# model, for std::thread). The tests run under wine as the emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZRM_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZRM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZRM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZRM_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZRM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry their C and C++ runtimes, so a .exe runs on its own
# (and under wine without a DLL path).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(ZRM_WINE NAMES wine wine64)
if(ZRM_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZRM_WINE})
endif()
