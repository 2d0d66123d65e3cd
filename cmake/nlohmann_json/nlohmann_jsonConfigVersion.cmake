# The version of the build machine's package (see nlohmann_jsonConfig.cmake).
include("${CMAKE_CURRENT_LIST_DIR}/locate.cmake")
if(PINGWELL_HOST_NLOHMANN_JSON_DIR)
  include("${PINGWELL_HOST_NLOHMANN_JSON_DIR}/nlohmann_jsonConfigVersion.cmake")
else()
  set(PACKAGE_VERSION_UNSUITABLE TRUE)
endif()
