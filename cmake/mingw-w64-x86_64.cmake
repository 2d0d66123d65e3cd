# Cross toolchain for the Windows x86-64 module, using Debian's mingw-w64
# (package g++-mingw-w64-x86-64-posix: the posix thread model, so std::mutex
# and friends are available).
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The module is loaded into a host process that ships none of the mingw
# runtime DLLs, so libgcc, libstdc++ and winpthread are linked statically:
# the import table keeps only Windows system DLLs.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PINGWELL_MINGW_PREFIX x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${PINGWELL_MINGW_PREFIX}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${PINGWELL_MINGW_PREFIX}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${PINGWELL_MINGW_PREFIX}-windres)
find_program(PINGWELL_DLLTOOL NAMES ${PINGWELL_MINGW_PREFIX}-dlltool REQUIRED)
find_program(PINGWELL_OBJDUMP NAMES ${PINGWELL_MINGW_PREFIX}-objdump objdump)

# Libraries, headers and packages come from the mingw sysroot only; programs
# (dlltool, wine, objdump) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PINGWELL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# nlohmann_json is header-only, so the build machine's package serves the
# Windows build too; cmake/nlohmann_json loads it without letting
# /usr/include, which it would add to every compile, near the mingw headers.
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/nlohmann_json
    CACHE PATH "nlohmann_json for the Windows build" FORCE)

# Static C and C++ runtimes for every executable and DLL. -static also makes
# the posix thread library (winpthread) a static one; Windows system
# libraries are import libraries and stay DLL imports.
set(_pingwell_static_runtime "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_pingwell_static_runtime}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_pingwell_static_runtime}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_pingwell_static_runtime}")
