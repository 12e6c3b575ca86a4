# The tree template's reader and parser need nothing but the runtime.
add_library(viewer_template STATIC template_line.cpp)
target_include_directories(viewer_template PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(viewer_template PUBLIC runtime)

# The viewer's foundation: event queue, windows and the two input files.
add_library(viewer_core STATIC
  event_queue.cpp
  viewer_settings.cpp
  window.cpp
)
target_include_directories(viewer_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
# window.cpp makes each new window the current widget list (viewer_widgets),
# which in turn builds on the event queue: the two libraries link each other.
target_link_libraries(viewer_core PUBLIC viewer_template runtime PkgConfig::GTK2 viewer_widgets)

if(NOT BUILD_TESTING)
  return()
endif()

# Looking at windows the way the X server sees them, and real X input, for
# the tests of every viewer library.
add_library(viewer_x_inspect STATIC tests/x_inspect.cpp)
target_include_directories(viewer_x_inspect PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/tests)
target_link_libraries(viewer_x_inspect PUBLIC PkgConfig::X11TEST)

add_executable(viewer_input_tests
  tests/template_line_test.cpp
  tests/viewer_settings_test.cpp
)
target_link_libraries(viewer_input_tests PRIVATE viewer_core GTest::gtest_main)
target_compile_definitions(viewer_input_tests PRIVATE TREE_TEST_SCRATCH="${TREE_TEST_SCRATCH}")
gtest_discover_tests(viewer_input_tests WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                     DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)

add_executable(event_queue_tests tests/event_queue_test.cpp)
target_link_libraries(event_queue_tests PRIVATE viewer_core viewer_x_inspect gtk_test_main)
add_x_tests(event_queue_tests NO_PRETTY_VALUES)

# The window tests that need a window manager (states, keep-above) run
# under openbox; the others on a bare X server, where the window is placed
# exactly where the program asks.
add_executable(window_tests tests/window_test.cpp)
target_link_libraries(window_tests PRIVATE viewer_core viewer_widgets viewer_x_inspect gtk_test_main)
add_x_tests(window_tests NO_PRETTY_VALUES TEST_FILTER "-WindowManagerTest.*")
add_x_tests(window_tests NO_PRETTY_VALUES TEST_FILTER "WindowManagerTest.*" TEST_PREFIX "openbox."
            PROPERTIES ENVIRONMENT TREE_TEST_WM=openbox)
