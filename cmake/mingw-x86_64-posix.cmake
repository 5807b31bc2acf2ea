# 64-bit Windows: the same program and tests, for machines and Wines that
# cannot run 32-bit programs, and to catch pointer-size assumptions.
set(GREVLIN_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-posix.cmake)
