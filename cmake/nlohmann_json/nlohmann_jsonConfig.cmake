# nlohmann_json for the Windows cross build.
#
# The build machine's package would add its own include folder, /usr/include,
# to every compile, and with it the Linux C headers, which then shadow the
# mingw ones. This loads that package and exposes only its nlohmann/ folder,
# through a link in the build tree.
include("${CMAKE_CURRENT_LIST_DIR}/locate.cmake")
if(NOT PINGWELL_HOST_NLOHMANN_JSON_DIR)
  set(nlohmann_json_FOUND FALSE)
  set(nlohmann_json_NOT_FOUND_MESSAGE "install nlohmann-json3-dev")
  return()
endif()
include("${PINGWELL_HOST_NLOHMANN_JSON_DIR}/nlohmann_jsonConfig.cmake")

set(_pingwell_json_include "${CMAKE_BINARY_DIR}/windows-json/include")
if(NOT EXISTS "${_pingwell_json_include}/nlohmann/json.hpp")
  get_target_property(_pingwell_json_dirs nlohmann_json::nlohmann_json
                      INTERFACE_INCLUDE_DIRECTORIES)
  foreach(_dir IN LISTS _pingwell_json_dirs)
    if(EXISTS "${_dir}/nlohmann/json.hpp")
      file(MAKE_DIRECTORY "${_pingwell_json_include}")
      file(CREATE_LINK "${_dir}/nlohmann" "${_pingwell_json_include}/nlohmann"
           SYMBOLIC COPY_ON_ERROR)
      break()
    endif()
  endforeach()
endif()
if(NOT EXISTS "${_pingwell_json_include}/nlohmann/json.hpp")
  set(nlohmann_json_FOUND FALSE)
  set(nlohmann_json_NOT_FOUND_MESSAGE "nlohmann/json.hpp not found")
  return()
endif()
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${_pingwell_json_include}")
