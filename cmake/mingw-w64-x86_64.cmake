# Cross-compiles the Windows programs with Debian's mingw-w64 for x86_64.
#
# The posix thread model is used because GCC 12's win32 model has no
# std::thread or std::mutex. Everything is linked statically so the programs
# need no MinGW DLLs next to them, under Wine or on a real Windows machine.
# ctest runs the .exe files through scripts/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZARVO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZARVO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZARVO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZARVO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZARVO_MINGW_TRIPLE})
# Programs come from the host, libraries and headers only from the target.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

get_filename_component(ZARVO_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${ZARVO_SOURCE_ROOT}/scripts/wine-run")
