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
# Configuring changes nothing outside the build and the cache
# (WindowsCachedBuild.cmake): tools/windows-jpeg --offline gives the cached
# build, or builds one from the source package already in the cache.
# Installing the build tools and fetching the source is tools/windows-jpeg
# without an option (tools/build-windows runs it before configuring).

set(PINGWELL_WINDOWS_JPEG_DIR "" CACHE PATH
    "Static Windows TurboJPEG (include/, lib/); empty: built by tools/windows-jpeg")

include(${CMAKE_CURRENT_LIST_DIR}/WindowsCachedBuild.cmake)
pingwell_cached_windows_build(_pingwell_jpeg_dir windows-jpeg "Windows TurboJPEG" libjpeg-turbo
                              PINGWELL_WINDOWS_JPEG_DIR)

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
