# How test binaries become ctest cases, and the label each kind carries so
# that a part of the suite can run alone:
#   unit  no X server and no processes started: seconds for all of them;
#   x11   a library's widgets in a window of a private X server;
#   e2e   the built programs run in a scratch folder as a user would
#         (the viewer's against a private X server).
# Every function takes the options of gtest_discover_tests; properties go
# after PROPERTIES, as there.

set(TREE_RUN_WITH_X ${PROJECT_SOURCE_DIR}/tests/run_with_x.sh)

# In a sanitizer build the leak checker skips what the toolkit's own
# libraries keep until exit, however ctest is started.
set(TREE_TEST_SANITIZER_ENVIRONMENT)
if(TREE_SANITIZE)
  set(TREE_TEST_SANITIZER_ENVIRONMENT ENVIRONMENT_MODIFICATION
      "LSAN_OPTIONS=set:suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
endif()

function(tree_discover_tests target label)
  cmake_parse_arguments(ARG "" "" "PROPERTIES" ${ARGN})
  gtest_discover_tests(${target} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                       DISCOVERY_TIMEOUT 120 ${ARG_UNPARSED_ARGUMENTS}
                       PROPERTIES LABELS ${label} ${TREE_TEST_SANITIZER_ENVIRONMENT} ${ARG_PROPERTIES})
endfunction()

function(add_unit_tests target)
  tree_discover_tests(${target} unit ${ARGN})
endfunction()

# Runs each case against a private X server of its own.
function(add_x_tests target)
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR ${TREE_RUN_WITH_X})
  tree_discover_tests(${target} x11 ${ARGN})
endfunction()

function(add_e2e_tests target)
  tree_discover_tests(${target} e2e ${ARGN})
endfunction()

# The built viewer against a private X server.
function(add_x_e2e_tests target)
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR ${TREE_RUN_WITH_X})
  tree_discover_tests(${target} e2e ${ARGN})
endfunction()
