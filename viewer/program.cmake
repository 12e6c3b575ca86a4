add_executable(treeviewer main.cpp run_viewer.cpp)
target_link_libraries(treeviewer PRIVATE viewer_core viewer_widgets viewer_kinds viewer_imaging runtime)

if(NOT BUILD_TESTING)
  return()
endif()

# The built program against an X server: what the server reports about its
# window, and how it ends.
add_executable(treeviewer_e2e_tests tests/treeviewer_e2e_test.cpp)
target_link_libraries(treeviewer_e2e_tests PRIVATE viewer_x_inspect GTest::gtest_main)
target_compile_definitions(treeviewer_e2e_tests PRIVATE
  TREEVIEWER_PATH="$<TARGET_FILE:treeviewer>"
  TREE_TEST_SCRATCH="${TREE_TEST_SCRATCH}")
add_dependencies(treeviewer_e2e_tests treeviewer)
add_x_tests(treeviewer_e2e_tests NO_PRETTY_VALUES TEST_FILTER "-TreeviewerWindowManagerTest.*")
add_x_tests(treeviewer_e2e_tests TEST_FILTER "TreeviewerWindowManagerTest.*" TEST_PREFIX "openbox."
            PROPERTIES ENVIRONMENT TREE_TEST_WM=openbox)
