#include "tests/support/scratch_folder.h"

#include <stdlib.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace test_support {

ScratchFolder::ScratchFolder() : ScratchFolder(std::filesystem::temp_directory_path()) {}

ScratchFolder::ScratchFolder(const std::filesystem::path& root) {
  std::filesystem::create_directories(root);
  std::string pattern = (root / "treetools-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::system_error(errno, std::generic_category(), "cannot make a scratch folder in " + root.string());
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  // A folder left behind must not fail a test that passed.
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void ScratchFolder::write(const std::string& name, std::string_view bytes) const {
  std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + (path_ / name).string());
}

std::string ScratchFolder::read(const std::string& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace test_support
