# What every target of the project is built with, and which headers each
# library may see.
#
# The arrows go one way: slack/ knows nothing of the host; each part of
# plugin/ uses slack/ and the parts below it (plugin/CMakeLists.txt draws
# them); host/ uses the contract (plugin/host_api/host_interface.h) alone. Each library therefore compiles against an include root of
# its own in the build tree, which holds links to what it may include and
# nothing else, so that an include across the arrows is not found and fails
# the build. Sources include "slack/client.h", "plugin/notifier/notifier.h"
# and "plugin/host_api/host_interface.h" by their paths in the source tree.

# pingwell_warnings: the compiler's warnings, all of them errors. Every
# target that compiles code links it (pingwell_check_warnings holds that).
add_library(pingwell_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(pingwell_warnings INTERFACE -Wall -Wextra -Werror)
elseif(MSVC)
  target_compile_options(pingwell_warnings INTERFACE /W4 /WX)
else()
  message(FATAL_ERROR "pingwell_warnings: no warning flags known for ${CMAKE_CXX_COMPILER_ID}")
endif()

#   pingwell_include_root(<target> <PUBLIC|PRIVATE|INTERFACE> <path>...)
#
# Gives <target> the include root ${PROJECT_BINARY_DIR}/include/<target>,
# holding for each <path> of the source tree (a folder or a single header) a
# symbolic link of the same relative name: pingwell_include_root(x PUBLIC
# slack) makes "slack/client.h" visible to x and its users, and nothing else
# of the source tree.
function(pingwell_include_root target scope)
  set(root "${PROJECT_BINARY_DIR}/include/${target}")
  foreach(path IN LISTS ARGN)
    set(original "${PROJECT_SOURCE_DIR}/${path}")
    if(NOT EXISTS "${original}")
      message(FATAL_ERROR "pingwell_include_root(${target}): ${original} does not exist")
    endif()
    set(link "${root}/${path}")
    if(IS_SYMLINK "${link}")
      file(READ_SYMLINK "${link}" current)
      if(current STREQUAL original)
        continue()
      endif()
    endif()
    # file(REMOVE) takes away the link itself, never what it points to.
    file(REMOVE "${link}")
    get_filename_component(parent "${link}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "${original}" "${link}" SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} "${root}")
endfunction()

# Libraries and the module keep their symbols to themselves: the module
# exports its descriptor alone, and a static library linked into it exports
# nothing of its own.
function(pingwell_hidden_symbols)
  set_target_properties(${ARGN} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# Stops the configure when a target of the project that compiles code does
# not link pingwell_warnings. Called once, after every folder was added.
function(pingwell_check_warnings)
  set(folders "${PROJECT_SOURCE_DIR}")
  set(unchecked "")
  while(folders)
    list(POP_FRONT folders folder)
    get_property(subfolders DIRECTORY "${folder}" PROPERTY SUBDIRECTORIES)
    list(APPEND folders ${subfolders})
    get_property(targets DIRECTORY "${folder}" PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
        get_target_property(links ${target} LINK_LIBRARIES)
        if(NOT "pingwell_warnings" IN_LIST links)
          list(APPEND unchecked ${target})
        endif()
      endif()
    endforeach()
  endwhile()
  if(unchecked)
    list(JOIN unchecked ", " unchecked)
    message(FATAL_ERROR "These targets do not link pingwell_warnings: ${unchecked}. "
                        "Add target_link_libraries(<target> PRIVATE pingwell_warnings).")
  endif()
endfunction()
