# The shipped program: 32-bit Windows, with the compiler's win32 thread model.
# The posix model links libwinpthread, which this mingw-w64 builds for Vista
# and later (it imports kernel32!GetTickCount64, and Windows XP then refuses
# to start the program). The win32 model's runtime imports nothing that XP
# SP3 lacks; it has no std::thread or std::mutex, which the product does not
# use. The tests keep the posix model (GoogleTest needs it).
set(MINGW_TRIPLE i686-w64-mingw32)
set(MINGW_THREADS win32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
