#include "tests/support/current_folder.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace test_support {

CurrentFolder::CurrentFolder(const std::filesystem::path& folder) : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(folder);
}

CurrentFolder::~CurrentFolder() {
  std::error_code error;
  std::filesystem::current_path(previous_, error);
  if (error) {
    std::fprintf(stderr, "cannot make %s the current folder again: %s\n", previous_.c_str(),
                 error.message().c_str());
    std::abort();
  }
}

}  // namespace test_support
