# 32-bit Windows: Grevlin.exe as users run it.
set(GREVLIN_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-posix.cmake)
