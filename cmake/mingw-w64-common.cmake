# Shared by the mingw-w64 toolchain files; they set PS_MINGW_TRIPLET first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${PS_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PS_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PS_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${PS_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# ctest runs the Windows test programs under the project's Wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
# One self-contained executable: nothing to plant beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
