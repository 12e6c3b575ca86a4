# placeholder until written
add_library(viewer_kinds INTERFACE)
