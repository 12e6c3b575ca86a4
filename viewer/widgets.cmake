# The widget layer shared by every widget kind: registry, current widget
# list, registration, click and drag tracking, fonts and colours.
add_library(viewer_widgets STATIC
  pointer_tracking.cpp
  widget.cpp
  widget_list.cpp
  widget_style.cpp
)
target_include_directories(viewer_widgets PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(viewer_widgets PUBLIC runtime viewer_core PkgConfig::GTK2)

if(NOT BUILD_TESTING)
  return()
endif()

add_executable(widget_tests
  tests/widget_test_support.cpp
  tests/widget_test.cpp
  tests/widget_list_test.cpp
  tests/widget_pointer_test.cpp
)
target_link_libraries(widget_tests PRIVATE viewer_widgets gtk_test_main PkgConfig::X11TEST)
add_x_tests(widget_tests)
