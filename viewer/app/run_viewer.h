// The entry routine of treeviewer and the release of everything at its end.
#pragma once

namespace app {

// Starts the toolkit and the libraries, opens the main window from
// "tree_window.ini", fills the tree from "tree_display_template.txt", waits
// until the window is asked to close and ends the process with status 0.
// Prints nothing and never returns.
[[noreturn]] void run_viewer(int argc, char** argv);

// Closes every file, destroys every window with its widgets and releases
// every image.
void shutdown_runtime();

}  // namespace app
