# The product: 32-bit Windows. Built and inspected; this machine's kernel
# cannot run 32-bit programs.
set(SNKES_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
