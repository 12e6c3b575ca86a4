#include <cstdio>
#include <cstring>
#include <string_view>

#include "app/run_viewer.h"

namespace {

constexpr char Usage[] =
    "Usage: treeviewer [TOOLKIT-OPTION...]\n"
    "   or: treeviewer --help | --version\n"
    "Shows the tree that tree_display_template.txt describes, one row per line\n"
    "(level, comma, text; a final \"/\" marks a folder), in a window placed, sized\n"
    "and titled by the seven lines of tree_window.ini, both read from the current\n"
    "directory. The program ends with status 0 when the window is closed.\n"
    "\n"
    "  --help      print this help and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "Every other argument goes to the GTK toolkit, for example --display=DISPLAY.\n"
    "See treeviewer(1) for the files, the keys and the menu.\n";

constexpr char Version[] = "treeviewer " TREEVIEWER_VERSION "\n";

enum class Request { Run, Help, Version };

// The toolkit's options that take the next argument as their value when it
// is not joined with "=": "--display --help" names a display.
bool takes_value(std::string_view option) {
  for (const std::string_view name :
       {"--display", "--screen", "--name", "--class", "--gtk-module", "--gtk-debug",
        "--gtk-no-debug", "--gdk-debug", "--gdk-no-debug"})
    if (option == name) return true;
  return false;
}

// The first --help or --version decides. The arguments are read as the
// toolkit reads them: "--" ends the options, and an option's value is no
// option of its own.
Request request_of(int argc, char** argv) {
  for (int i = 1; i < argc && argv[i]; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--") break;
    if (argument == "--help") return Request::Help;
    if (argument == "--version") return Request::Version;
    if (takes_value(argument)) ++i;
  }
  return Request::Run;
}

void print(const char* text) {
  std::fwrite(text, 1, std::strlen(text), stdout);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before the toolkit starts: neither needs a display.
  switch (request_of(argc, argv)) {
    case Request::Help:
      print(Usage);
      return 0;
    case Request::Version:
      print(Version);
      return 0;
    case Request::Run:
      break;
  }
  app::run_viewer(argc, argv);
}
