# TurboJPEG::turbojpeg for the Windows cross build: libjpeg-turbo's TurboJPEG
# library, static, inside the module like libcurl, so that the module still
# reaches only Windows' own DLLs.
#
# tools/windows-jpeg builds it from Debian's libjpeg-turbo source package, the
# version of the Linux build's libturbojpeg0-dev, with its SIMD code, and
# keeps it in the cache beside the Windows libcurl. Its header, from the same
# build, is the one the Windows compile sees. PINGWELL_WINDOWS_JPEG_DIR may
# name the folder of another such build (holding include/turbojpeg.h and
# lib/libturbojpeg.a).
#
# Configuring changes nothing outside the build and the cache: it runs
# tools/windows-jpeg --offline, which gives the cached build, or builds one
# from the source package already in the cache, and never runs apt-get.
# Installing the build tools and fetching the source is tools/windows-jpeg
# without an option (tools/build-windows runs it before configuring).

set(PINGWELL_WINDOWS_JPEG_DIR "" CACHE PATH
    "Static Windows TurboJPEG (include/, lib/); empty: built by tools/windows-jpeg")

set(_pingwell_jpeg_dir "${PINGWELL_WINDOWS_JPEG_DIR}")
if(NOT _pingwell_jpeg_dir)
  message(STATUS "Windows TurboJPEG: tools/windows-jpeg --offline (built once per version)")
  execute_process(
    COMMAND "${PROJECT_SOURCE_DIR}/tools/windows-jpeg" --offline
    OUTPUT_VARIABLE _pingwell_jpeg_dir
    OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE _pingwell_jpeg_status)
  if(_pingwell_jpeg_status EQUAL 3)
    set(_pingwell_jpeg_command "${PROJECT_SOURCE_DIR}/tools/windows-jpeg")
    if(DEFINED ENV{PINGWELL_CACHE_DIR})
      string(PREPEND _pingwell_jpeg_command "PINGWELL_CACHE_DIR=$ENV{PINGWELL_CACHE_DIR} ")
    endif()
    message(FATAL_ERROR
      "Windows TurboJPEG is not built yet, and its build tools or its source are "
      "missing (above). Run\n"
      "  ${_pingwell_jpeg_command}\n"
      "(it installs the build tools and fetches Debian's libjpeg-turbo source with "
      "apt-get, then builds), and configure again; or set PINGWELL_WINDOWS_JPEG_DIR.")
  elseif(NOT _pingwell_jpeg_status EQUAL 0)
    message(FATAL_ERROR "tools/windows-jpeg --offline failed (status ${_pingwell_jpeg_status})")
  endif()
endif()

set(_pingwell_jpeg_library "${_pingwell_jpeg_dir}/lib/libturbojpeg.a")
foreach(_file "${_pingwell_jpeg_library}" "${_pingwell_jpeg_dir}/include/turbojpeg.h")
  if(NOT EXISTS "${_file}")
    message(FATAL_ERROR "Windows TurboJPEG: ${_file} is missing")
  endif()
endforeach()
message(STATUS "Windows TurboJPEG (static): ${_pingwell_jpeg_dir}")

add_library(TurboJPEG::turbojpeg STATIC IMPORTED GLOBAL)
set_target_properties(TurboJPEG::turbojpeg PROPERTIES
  IMPORTED_LOCATION "${_pingwell_jpeg_library}"
  IMPORTED_LINK_INTERFACE_LANGUAGES C
  INTERFACE_INCLUDE_DIRECTORIES "${_pingwell_jpeg_dir}/include")
