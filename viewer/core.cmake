# placeholder until written
add_library(viewer_core INTERFACE)
