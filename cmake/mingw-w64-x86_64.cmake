# Cross build for 64-bit Windows with the Debian mingw-w64 compiler (POSIX thread model), with
# the test programs run under Wine:
#   cmake -G Ninja -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# Headers, libraries and packages come from the mingw sysroot only, so that the build machine's
# own GoogleTest (built for Linux) is never picked up; programs still run from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything is linked against the compiler's runtime statically, so Wine needs none of its DLLs
# and the library DLL runs on a machine without the compiler. On the DLL link, -static adds the
# winpthread archive that this thread model's libstdc++ needs (-static-libstdc++ alone leaves
# libwinpthread-1.dll imported); system DLLs are still imported, and the DLL still exports only
# the interface.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

# Test programs run under Wine, quietly, in a prefix of their own beside the build (created on
# first use, which takes a few seconds). WINEPREFIX set at configure time wins.
if(DEFINED ENV{WINEPREFIX})
  set(_commonutility_wineprefix "$ENV{WINEPREFIX}")
else()
  set(_commonutility_wineprefix "${CMAKE_BINARY_DIR}/wineprefix")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
  ${CMAKE_COMMAND} -E env WINEDEBUG=-all WINEPREFIX=${_commonutility_wineprefix} /usr/bin/wine)
