# cmake -DSOURCE=<manifest.json> -DHEADER=<header> -DCOPY=<manifest.json> -P embed_manifest.cmake
#
# Makes the module's and the zip's copies of the app manifest from the one
# file in the source tree: HEADER declares kSlackAppManifest, the manifest's
# compact JSON text (no white space outside strings), and COPY is the file
# as it is. Stops the build when the file is no JSON object.
file(READ "${SOURCE}" text)
string(JSON kind ERROR_VARIABLE problem TYPE "${text}")
if(problem OR NOT kind STREQUAL "OBJECT")
  message(FATAL_ERROR "${SOURCE} is no JSON object: ${problem}")
endif()

# White space goes unless it is inside a string; a backslash in a string
# carries the byte after it.
set(compact "")
set(inString FALSE)
set(escaped FALSE)
string(LENGTH "${text}" length)
math(EXPR last "${length} - 1")
foreach(at RANGE 0 ${last})
  string(SUBSTRING "${text}" ${at} 1 byte)
  if(inString)
    string(APPEND compact "${byte}")
    if(escaped)
      set(escaped FALSE)
    elseif(byte STREQUAL "\\")
      set(escaped TRUE)
    elseif(byte STREQUAL "\"")
      set(inString FALSE)
    endif()
  elseif(NOT byte MATCHES "^[ \t\r\n]$")
    string(APPEND compact "${byte}")
    if(byte STREQUAL "\"")
      set(inString TRUE)
    endif()
  endif()
endforeach()

set(delimiter "manifest")
string(FIND "${compact}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${SOURCE} holds the header's string delimiter")
endif()
set(header "// Made by plugin/options_panel/embed_manifest.cmake from\n")
string(APPEND header "// plugin/options_panel/slack-app-manifest.json: edit that file.\n")
string(APPEND header "#pragma once\n\nnamespace pingwell {\n\n")
string(APPEND header "inline constexpr char kSlackAppManifest[] = R\"${delimiter}(${compact})${delimiter}\";\n")
string(APPEND header "\n}  // namespace pingwell\n")
# Each written only when it changed, so that a rebuild recompiles nothing.
file(WRITE "${HEADER}.new" "${header}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E copy_if_different "${HEADER}.new" "${HEADER}"
                COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE "${HEADER}.new")
execute_process(COMMAND "${CMAKE_COMMAND}" -E copy_if_different "${SOURCE}" "${COPY}"
                COMMAND_ERROR_IS_FATAL ANY)
