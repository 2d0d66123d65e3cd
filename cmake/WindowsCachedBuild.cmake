# The step that WindowsCurl.cmake and WindowsJpeg.cmake share: finding a
# static Windows library that a tools/ script builds from a Debian source
# package into the project's cache.
#
#   pingwell_cached_windows_build(<out-var> <tool> <what> <source> <override-var>)
#
# Sets <out-var> to the folder of the build (its include/ and lib/): the
# value of the cache variable <override-var> when set, else what
# `tools/<tool> --offline` prints. That gives the cached build, or builds one
# from the source package already in the cache, and never runs apt-get, so
# configuring changes nothing outside the build and the cache. When the build
# tools or Debian's <source> source package are missing, the configure stops
# and names the command that installs and fetches them (tools/<tool> without
# an option, which tools/build-windows runs before configuring).
function(pingwell_cached_windows_build out tool what source override)
  if(${override})
    set(${out} "${${override}}" PARENT_SCOPE)
    return()
  endif()
  message(STATUS "${what}: tools/${tool} --offline (built once per version)")
  execute_process(
    COMMAND "${PROJECT_SOURCE_DIR}/tools/${tool}" --offline
    OUTPUT_VARIABLE dir
    OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE status)
  if(status EQUAL 3)
    set(command "${PROJECT_SOURCE_DIR}/tools/${tool}")
    if(DEFINED ENV{PINGWELL_CACHE_DIR})
      string(PREPEND command "PINGWELL_CACHE_DIR=$ENV{PINGWELL_CACHE_DIR} ")
    endif()
    message(FATAL_ERROR
      "${what} is not built yet, and its build tools or its source are "
      "missing (above). Run\n"
      "  ${command}\n"
      "(it installs the build tools and fetches Debian's ${source} source with "
      "apt-get, then builds), and configure again; or set ${override}.")
  elseif(NOT status EQUAL 0)
    message(FATAL_ERROR "tools/${tool} --offline failed (status ${status})")
  endif()
  set(${out} "${dir}" PARENT_SCOPE)
endfunction()
