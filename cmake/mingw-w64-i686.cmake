# Cross build of the shipped 32-bit Windows program with Debian's mingw-w64
# (posix threads: GoogleTest needs std::mutex).
set(PS_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
