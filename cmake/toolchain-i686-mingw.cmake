# Cross build for i686 Windows with mingw-w64 (posix thread model, everything
# linked statically so the programs need no mingw DLLs at run time).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SNKES_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${SNKES_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SNKES_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SNKES_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${SNKES_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
