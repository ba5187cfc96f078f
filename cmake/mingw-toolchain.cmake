# Cross build for Windows with mingw-w64 (posix thread model; the programs
# link everything statically, so they need no mingw DLLs at run time). The
# architecture's toolchain file sets SNKES_MINGW_ARCH and includes this one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${SNKES_MINGW_ARCH})
set(SNKES_MINGW_TRIPLE ${SNKES_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${SNKES_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SNKES_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SNKES_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${SNKES_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
