# Cross build for 64-bit Windows with MinGW-w64 on Debian.
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DDRAVIK_WINDOWS_PREFIX=/path/to/windows/libraries ...
#
# The posix thread model is required: the SIP worker uses std::thread,
# std::mutex and std::condition_variable, which the win32 model lacks.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# Where the libraries built for Windows are installed (JsonCpp, libcurl, the
# SIP stack): one prefix or a list of them. Passed on to CMake's own test
# projects as well.
set(DRAVIK_WINDOWS_PREFIX "" CACHE STRING "Prefixes of the libraries built for Windows")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DRAVIK_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(DRAVIK_PKG_CONFIG_DIRS "")
foreach(prefix ${DRAVIK_WINDOWS_PREFIX})
  list(APPEND CMAKE_FIND_ROOT_PATH ${prefix})
  list(APPEND CMAKE_PREFIX_PATH ${prefix})
  string(APPEND DRAVIK_PKG_CONFIG_DIRS "${prefix}/lib/pkgconfig:${prefix}/share/pkgconfig:")
endforeach()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must see the Windows libraries only: with the default search
# path it would hand the host's Linux libraries to a Windows link.
set(ENV{PKG_CONFIG_LIBDIR} "${DRAVIK_PKG_CONFIG_DIRS}")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# One self-contained executable: the C++ runtime and the threads library are
# linked in, so the program needs no MinGW DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
