# Cross-compiling for 64-bit Windows with Debian's mingw-w64, POSIX thread model (the "-posix"
# compilers: std::thread and std::mutex need it; the "-win32" ones lack them in GCC 12).
#
# Used both to build Qt itself (scripts/windows/build-qt.sh) and to build this project against
# that Qt:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_PREFIX_PATH=<windows qt> ...
# Every folder of CMAKE_PREFIX_PATH is also taken as a find root, so the Windows Qt is found
# while the host's own libraries and headers never are.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TRV_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TRV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TRV_MINGW_TRIPLET}-windres)

# Libraries, headers and CMake packages come only from the mingw sysroot and the given prefixes;
# programs (moc, rcc, uic of the host Qt, ninja) come from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${TRV_MINGW_TRIPLET})
foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
  list(APPEND CMAKE_FIND_ROOT_PATH "${prefix}")
endforeach()
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compilers' names end in "-posix", which hides the triplet from CMake's guess of the
# binutils' names; name the ones archives and install(--strip) use.
find_program(CMAKE_AR ${TRV_MINGW_TRIPLET}-ar)
find_program(CMAKE_RANLIB ${TRV_MINGW_TRIPLET}-ranlib)
find_program(CMAKE_STRIP ${TRV_MINGW_TRIPLET}-strip)
find_program(CMAKE_OBJDUMP ${TRV_MINGW_TRIPLET}-objdump)
