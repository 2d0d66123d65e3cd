# Test registration for tests that talk to the local Slack stand-in.
#
#   pingwell_add_sandboxed_test(NAME <name> COMMAND <target-or-program> [args...]
#                               [SANDBOX_ARGS <tools/sandbox options>...]
#                               [TIMEOUT <seconds>] [LABELS <label>...])
#
# The command runs under tools/sandbox: its own network namespace, slack.com
# on 127.0.0.1 served by tools/slack_standin.py, and a test CA as the only
# trusted authority. SANDBOX_ARGS picks a variant, e.g. "--cert otherca".

get_filename_component(PINGWELL_SANDBOX "${CMAKE_CURRENT_LIST_DIR}/../tools/sandbox" ABSOLUTE)

function(pingwell_add_sandboxed_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME;TIMEOUT" "COMMAND;SANDBOX_ARGS;LABELS")
  if(NOT arg_NAME OR NOT arg_COMMAND)
    message(FATAL_ERROR "pingwell_add_sandboxed_test needs NAME and COMMAND")
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 300)
  endif()
  list(POP_FRONT arg_COMMAND program)
  # add_test only maps a target name to its file in the first position, which
  # here is the sandbox script.
  if(TARGET "${program}")
    set(program "$<TARGET_FILE:${program}>")
  endif()
  add_test(NAME "${arg_NAME}"
           COMMAND "${PINGWELL_SANDBOX}" ${arg_SANDBOX_ARGS} -- "${program}" ${arg_COMMAND})
  set_tests_properties("${arg_NAME}" PROPERTIES
    TIMEOUT "${arg_TIMEOUT}"
    LABELS "sandbox;${arg_LABELS}")
endfunction()
