# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread model,
# for std::thread). The programs are linked statically so that they run on a
# PC with nothing but Windows installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PUPDATE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PUPDATE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PUPDATE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PUPDATE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PUPDATE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# zlib as a static library, never its DLL.
set(ZLIB_USE_STATIC_LIBS ON)
set(ZLIB_LIBRARY /usr/${PUPDATE_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
