# Cross-builds vormi.exe for 64-bit Windows on Debian with MinGW-w64
# (g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows --toolchain cmake/mingw-w64-x86_64.cmake
# The programs built run here under wine (scripts/test-windows.sh runs the tests).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model: its C++ runtime has std::thread and std::mutex (GCC
# 12's win32 model has neither).
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Libraries and headers come from the target's tree only, never the host's;
# programs (pkg-config among them) are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthread linked in: the one .exe needs nothing
# but the DLLs every Windows has. No link time in its header: the same sources
# give the same vormi.exe, and the same download (scripts/package-windows.sh).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")

# CTest and test discovery run the programs through wine (WINEPREFIX and
# WINEDEBUG from the environment).
find_program(VORMI_WINE NAMES wine wine64)
if(VORMI_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VORMI_WINE})
endif()
