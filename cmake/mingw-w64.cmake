# Cross compile for 64-bit Windows with Debian's mingw-w64 (posix threads variant).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KVAT_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${KVAT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVAT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KVAT_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KVAT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A self-contained executable: no libgcc, libstdc++ or winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/wine)
