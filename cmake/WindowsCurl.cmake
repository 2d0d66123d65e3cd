# CURL::libcurl for the Windows cross build: a static libcurl that the
# module carries inside, so that installing it is copying one file and no
# libcurl DLL of unknown make on the user's machine (or loaded first by
# another plug-in in the same host) is ever used.
#
# tools/windows-curl builds it from Debian's curl source package, the
# version of the Linux build's libcurl4-openssl-dev, with Schannel for TLS
# (Windows' own, with the system certificate store), and keeps it in a cache
# outside the source tree. Its headers, from the same build, are the ones
# the Windows compile sees. PINGWELL_WINDOWS_CURL_DIR may name the folder of
# another such build (holding include/, lib/libcurl.a and
# lib/pkgconfig/libcurl.pc).
#
# Configuring changes nothing outside the build and the cache: it runs
# tools/windows-curl --offline, which gives the cached build, or builds one
# from the source package already in the cache, and never runs apt-get.
# Installing the build tools and fetching the source is tools/windows-curl
# without an option (tools/build-windows runs it before configuring).

set(PINGWELL_WINDOWS_CURL_DIR "" CACHE PATH
    "Static Windows libcurl (include/, lib/); empty: built by tools/windows-curl")

include(${CMAKE_CURRENT_LIST_DIR}/WindowsCachedBuild.cmake)
pingwell_cached_windows_build(_pingwell_curl_dir windows-curl "Windows libcurl" curl
                              PINGWELL_WINDOWS_CURL_DIR)

set(_pingwell_curl_library "${_pingwell_curl_dir}/lib/libcurl.a")
set(_pingwell_curl_pc "${_pingwell_curl_dir}/lib/pkgconfig/libcurl.pc")
foreach(_file "${_pingwell_curl_library}" "${_pingwell_curl_pc}"
              "${_pingwell_curl_dir}/include/curl/curl.h")
  if(NOT EXISTS "${_file}")
    message(FATAL_ERROR "Windows libcurl: ${_file} is missing")
  endif()
endforeach()

# The Windows libraries a static libcurl needs are the ones its build found
# necessary: Libs.private of its pkg-config file.
file(STRINGS "${_pingwell_curl_pc}" _pingwell_curl_private REGEX "^Libs\\.private:")
string(REGEX MATCHALL "-l[^ \t]+" _pingwell_curl_flags "${_pingwell_curl_private}")
set(_pingwell_curl_system_libraries "")
foreach(_flag IN LISTS _pingwell_curl_flags)
  string(SUBSTRING "${_flag}" 2 -1 _name)
  list(APPEND _pingwell_curl_system_libraries "${_name}")
endforeach()
file(STRINGS "${_pingwell_curl_pc}" _pingwell_curl_version_line REGEX "^Version:")
string(REGEX REPLACE "^Version:[ \t]*" "" PINGWELL_WINDOWS_CURL_VERSION
       "${_pingwell_curl_version_line}")
message(STATUS "Windows libcurl ${PINGWELL_WINDOWS_CURL_VERSION} (static, Schannel): "
               "${_pingwell_curl_dir}; links ${_pingwell_curl_system_libraries}")

add_library(CURL::libcurl STATIC IMPORTED GLOBAL)
set_target_properties(CURL::libcurl PROPERTIES
  IMPORTED_LOCATION "${_pingwell_curl_library}"
  IMPORTED_LINK_INTERFACE_LANGUAGES C
  INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB
  INTERFACE_INCLUDE_DIRECTORIES "${_pingwell_curl_dir}/include"
  INTERFACE_LINK_LIBRARIES "${_pingwell_curl_system_libraries}")
