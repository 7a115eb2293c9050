# What both mingw-w64 toolchain files share; each sets
# CMAKE_SYSTEM_PROCESSOR and SKELLAN_MINGW_TRIPLET first.
# The -posix compilers bring winpthreads, which std::thread, std::mutex and
# the framework's pthread calls need; the -win32 ones have none of these.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${SKELLAN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SKELLAN_MINGW_TRIPLET}-g++-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${SKELLAN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
