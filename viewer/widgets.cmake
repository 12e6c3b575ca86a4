# placeholder until written
add_library(viewer_widgets INTERFACE)
