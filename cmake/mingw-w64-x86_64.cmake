# Toolchain for the Windows x64 cross build with Debian's MinGW-w64 (posix
# threads). Used by scripts/build-windows.sh; `scripts/setup.sh --windows`
# installs the compilers and Wine and builds the libraries found here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(RISER_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RISER_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RISER_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${RISER_MINGW_HOST}-windres)

# Lua and libspng for Windows, built by the set-up (see scripts/windows_location.sh).
include("${CMAKE_CURRENT_LIST_DIR}/RiserCachePath.cmake")
riser_cache_path(RISER_WINDOWS_DEPS RISER_WINDOWS_DEPS windows-deps)
if(NOT EXISTS "${RISER_WINDOWS_DEPS}/lib/pkgconfig/lua5.4.pc")
  message(FATAL_ERROR "Lua and libspng for Windows not found in ${RISER_WINDOWS_DEPS}. "
                      "Run scripts/setup.sh --windows first (or set RISER_WINDOWS_DEPS).")
endif()

# Headers and libraries come from the MinGW tree and that cache only;
# programs (the host's tools) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${RISER_MINGW_HOST} ${RISER_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${RISER_WINDOWS_DEPS}/lib/pkgconfig:/usr/${RISER_MINGW_HOST}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# Everything static: riser.vst3 and the test programs need no MinGW runtime
# DLL (libgcc, libstdc++, winpthread, zlib) beside them, only system DLLs.
# (The project also finds static libraries only.)
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Windows programs built here (tests, the resource packer) run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
