# placeholder until written
add_executable(treeviewer main.cpp)
