# Cross-compiles Skellan for 64-bit Windows with Debian's mingw-w64.
# The -posix compilers bring winpthreads, which std::thread, std::mutex and
# the framework's pthread calls need; the -win32 ones have none of these.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SKELLAN_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${SKELLAN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SKELLAN_MINGW_TRIPLET}-g++-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${SKELLAN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
