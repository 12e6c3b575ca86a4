# The tree's item store, free of any toolkit, and its tests without a display.
add_library(viewer_tree_store STATIC tree_store.cpp)
target_include_directories(viewer_tree_store PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(viewer_tree_store PUBLIC runtime)

# The widget kinds: the tree widget over its item store, and the image widget.
add_library(viewer_kinds STATIC
  tree_model.cpp
  tree_widget.cpp
  image_widget.cpp
)
target_include_directories(viewer_kinds PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(viewer_kinds PUBLIC viewer_tree_store viewer_widgets viewer_imaging runtime PkgConfig::GTK2
                      ${CMAKE_DL_LIBS})

if(NOT BUILD_TESTING)
  return()
endif()

add_executable(tree_store_tests tests/tree_store_test.cpp)
target_link_libraries(tree_store_tests PRIVATE viewer_tree_store GTest::gtest_main)
gtest_discover_tests(tree_store_tests WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                     DISCOVERY_TIMEOUT 60)

# The store as a GtkTreeModel needs no display either.
add_executable(tree_model_tests tests/tree_model_test.cpp)
target_link_libraries(tree_model_tests PRIVATE viewer_kinds GTest::gtest_main)
gtest_discover_tests(tree_model_tests WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                     DISCOVERY_TIMEOUT 60)

# The widgets in a window of a private X server, driven by real X input.
add_executable(widget_kind_tests
  tests/tree_widget_test.cpp
  tests/image_widget_test.cpp
  tests/widget_test_support.cpp
)
target_link_libraries(widget_kind_tests PRIVATE viewer_kinds viewer_core viewer_widgets
                      viewer_imaging gtk_test_main PkgConfig::X11TEST)
add_x_tests(widget_kind_tests)

# The whole program as a user meets it: its window, rows, icons and keys.
add_executable(treeviewer_tree_e2e_tests tests/treeviewer_tree_e2e_test.cpp)
target_link_libraries(treeviewer_tree_e2e_tests PRIVATE viewer_x_inspect viewer_imaging
                      gtk_test_main PkgConfig::X11TEST)
target_compile_definitions(treeviewer_tree_e2e_tests PRIVATE
  TREEVIEWER_PATH="$<TARGET_FILE:treeviewer>"
  TREE_TEST_SCRATCH="${TREE_TEST_SCRATCH}")
add_dependencies(treeviewer_tree_e2e_tests treeviewer)
add_x_tests(treeviewer_tree_e2e_tests)

if(TREE_FUZZ)
  # libFuzzer over the template reader and the tree store it fills.
  add_executable(template_fuzz fuzz/template_fuzz.cpp)
  target_link_libraries(template_fuzz PRIVATE viewer_template viewer_tree_store)
  target_link_options(template_fuzz PRIVATE -fsanitize=fuzzer)
  set(template_fuzz_work ${CMAKE_CURRENT_BINARY_DIR}/template-fuzz-corpus)
  file(MAKE_DIRECTORY ${template_fuzz_work})
  add_test(NAME template_fuzz_smoke
           COMMAND template_fuzz -max_total_time=30 -timeout=10 -rss_limit_mb=2048 ${template_fuzz_work})
endif()
