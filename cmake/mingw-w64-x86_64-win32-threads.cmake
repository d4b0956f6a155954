# The released program's configuration built for 64-bit Windows: what the
# benchmarks measure on hosts that cannot execute 32-bit x86 code. The same
# win32 thread model as the shipped build (mingw-w64-i686-win32-threads.cmake).
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MINGW_THREADS win32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
