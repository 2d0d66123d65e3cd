# Finds the build machine's nlohmann_json package, which is header-only and
# so serves the Windows build as well.
if(NOT PINGWELL_HOST_NLOHMANN_JSON_DIR)
  file(GLOB _pingwell_json_candidates
    /usr/share/cmake/nlohmann_json /usr/lib/cmake/nlohmann_json
    /usr/lib/*/cmake/nlohmann_json
    /usr/local/share/cmake/nlohmann_json /usr/local/lib/cmake/nlohmann_json)
  foreach(_dir IN LISTS _pingwell_json_candidates)
    if(EXISTS "${_dir}/nlohmann_jsonConfig.cmake")
      set(PINGWELL_HOST_NLOHMANN_JSON_DIR "${_dir}" CACHE PATH
          "The build machine's nlohmann_json package (header-only)")
      break()
    endif()
  endforeach()
endif()
