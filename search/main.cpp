#include <cstdio>
#include <cstring>
#include <string_view>

#include "search/search_run.h"

namespace {

constexpr char Usage[] =
    "Usage: treesearch\n"
    "   or: treesearch --help | --version\n"
    "Reads searchTreeName.txt, searchTermsList.txt and the parallel lists\n"
    "foldersScratch.txt and filesScratch.txt from the current directory, and\n"
    "appends the tree name and every folder\\file pair in which the folder or the\n"
    "file holds a term (ignoring case) to searchOutputList.txt, as one block.\n"
    "Prints nothing and ends with status 0 when the block is appended whole;\n"
    "otherwise says why on standard error and ends with status 1, the output\n"
    "as it was.\n"
    "\n"
    "  --help      print this help and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "Any other argument is ignored. See treesearch(1).\n";

constexpr char Version[] = "treesearch " TREESEARCH_VERSION "\n";

// 0 once printed; 1 when standard output cannot take it.
int print(const char* text) {
  const size_t length = std::strlen(text);
  return std::fwrite(text, 1, length, stdout) == length && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // The first --help or --version answers, and no file is read or written.
  for (int i = 1; i < argc && argv[i]; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help") return print(Usage);
    if (argument == "--version") return print(Version);
  }
  return search::run_search();
}
