# CURL::libcurl for the Windows cross build.
#
# There is no Windows libcurl package on the build machine, and the module
# must not carry one: at run time it uses libcurl-x64.dll, the name under
# which curl's Windows x86-64 build ships, found where the host finds DLLs.
# So the link goes through an import library that dlltool makes at build
# time from cmake/libcurl-x64.def, which names that DLL and the functions
# the module calls.
#
# The headers are the build machine's libcurl headers: they are the same on
# every platform (the platform-dependent parts are chosen by the compiler's
# own macros). Only the curl/ folder is exposed, through a link in the build
# tree, so no other Linux header can reach the Windows compile.
# PINGWELL_CURL_INCLUDE_DIR may name another folder holding curl/curl.h.

find_path(PINGWELL_CURL_INCLUDE_DIR curl/curl.h
  PATHS /usr/include/${CMAKE_HOST_SYSTEM_PROCESSOR}-linux-gnu /usr/include
        /usr/local/include
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
  DOC "Folder holding curl/curl.h, used for the Windows build")
if(NOT PINGWELL_CURL_INCLUDE_DIR)
  # Another multiarch folder, on a build machine that is not x86-64.
  file(GLOB _pingwell_curl_headers /usr/include/*/curl/curl.h)
  if(_pingwell_curl_headers)
    list(GET _pingwell_curl_headers 0 _pingwell_curl_header)
    get_filename_component(_pingwell_curl_dir "${_pingwell_curl_header}" DIRECTORY)
    get_filename_component(_pingwell_curl_dir "${_pingwell_curl_dir}" DIRECTORY)
    set(PINGWELL_CURL_INCLUDE_DIR "${_pingwell_curl_dir}" CACHE PATH
        "Folder holding curl/curl.h, used for the Windows build" FORCE)
  endif()
endif()
if(NOT PINGWELL_CURL_INCLUDE_DIR)
  message(FATAL_ERROR
    "curl/curl.h not found: install libcurl4-openssl-dev (any libcurl "
    "development package will do) or set PINGWELL_CURL_INCLUDE_DIR")
endif()

set(_pingwell_curl_root "${CMAKE_BINARY_DIR}/windows-curl")
file(MAKE_DIRECTORY "${_pingwell_curl_root}/include")
file(REMOVE "${_pingwell_curl_root}/include/curl") # the link only
file(CREATE_LINK "${PINGWELL_CURL_INCLUDE_DIR}/curl"
     "${_pingwell_curl_root}/include/curl" SYMBOLIC COPY_ON_ERROR)

if(NOT PINGWELL_DLLTOOL)
  find_program(PINGWELL_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
endif()

set(PINGWELL_CURL_DEF "${CMAKE_CURRENT_LIST_DIR}/libcurl-x64.def")
set(_pingwell_curl_implib "${_pingwell_curl_root}/libcurl-x64.dll.a")
add_custom_command(
  OUTPUT "${_pingwell_curl_implib}"
  COMMAND "${PINGWELL_DLLTOOL}" --input-def "${PINGWELL_CURL_DEF}"
          --dllname libcurl-x64.dll --output-lib "${_pingwell_curl_implib}"
  DEPENDS "${PINGWELL_CURL_DEF}"
  COMMENT "Import library for libcurl-x64.dll"
  VERBATIM)
add_custom_target(pingwell_curl_import_library DEPENDS "${_pingwell_curl_implib}")

add_library(CURL::libcurl SHARED IMPORTED GLOBAL)
set_target_properties(CURL::libcurl PROPERTIES
  IMPORTED_IMPLIB "${_pingwell_curl_implib}"
  INTERFACE_INCLUDE_DIRECTORIES "${_pingwell_curl_root}/include")
add_dependencies(CURL::libcurl pingwell_curl_import_library)
