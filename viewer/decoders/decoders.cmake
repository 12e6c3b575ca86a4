# placeholder until written
add_library(viewer_imaging INTERFACE)
