# glintworks_test(NAME TIMEOUT SECONDS LABELS LABEL...
#                 [GTEST [FILTER PATTERN] | SCRIPT FILE [ARG...] | COMMAND PROGRAM [ARG...]]
#                 [SKIP_RETURN_CODE CODE] [RESOURCE_LOCK NAME] [ENVIRONMENT VAR=VALUE...])
#
# Registers a test with its timeout and labels, the one way every build's
# tests are registered:
# - GTEST: NAME is a GoogleTest program built here; each of its cases becomes
#   a test of its own, "Suite.Case", found by running the program once it is
#   built (one label only, which the cases share; FILTER, a GoogleTest
#   filter, leaves cases out);
# - SCRIPT: a shell test, FILE relative to tests/, run by bash with ARGs; it
#   sources tests/testlib.sh (an ARG that is a list, such as a target's
#   objects, becomes one ARG per item, here and for COMMAND);
# - COMMAND: a program with its arguments, as one test;
# - none of these: the program NAME itself, as one test (run through the
#   build's emulator when it is a cross build).
# SKIP_RETURN_CODE is the status that reports the test as skipped (77 for
# those that need a tool that is not installed); RESOURCE_LOCK keeps tests
# that share NAME from running at the same time.
function(glintworks_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "GTEST" "TIMEOUT;SKIP_RETURN_CODE;RESOURCE_LOCK;FILTER"
                        "LABELS;SCRIPT;COMMAND;ENVIRONMENT")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_TIMEOUT OR NOT arg_LABELS)
    message(FATAL_ERROR "glintworks_test(${name}): give TIMEOUT and LABELS, and nothing else unnamed")
  endif()
  if(arg_GTEST)
    list(LENGTH arg_LABELS labels)
    if(labels GREATER 1 OR arg_SCRIPT OR arg_COMMAND OR arg_ENVIRONMENT OR
       DEFINED arg_SKIP_RETURN_CODE OR DEFINED arg_RESOURCE_LOCK)
      message(FATAL_ERROR "glintworks_test(${name} GTEST): one label and a timeout only")
    endif()
    if(NOT DEFINED arg_FILTER)
      set(arg_FILTER "*")
    endif()
    gtest_discover_tests(${name} TEST_FILTER ${arg_FILTER} DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT ${arg_TIMEOUT} LABELS ${arg_LABELS})
    return()
  endif()

  if(arg_SCRIPT)
    list(POP_FRONT arg_SCRIPT script)
    add_test(NAME ${name} COMMAND bash ${PROJECT_SOURCE_DIR}/tests/${script} ${arg_SCRIPT} COMMAND_EXPAND_LISTS)
  elseif(arg_COMMAND)
    add_test(NAME ${name} COMMAND ${arg_COMMAND} COMMAND_EXPAND_LISTS)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${arg_TIMEOUT} LABELS "${arg_LABELS}")
  foreach(property SKIP_RETURN_CODE RESOURCE_LOCK)
    if(DEFINED arg_${property})
      set_tests_properties(${name} PROPERTIES ${property} ${arg_${property}})
    endif()
  endforeach()
  if(arg_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${arg_ENVIRONMENT}")
  endif()
endfunction()
