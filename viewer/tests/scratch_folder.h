// A fresh folder under the build tree's test scratch area, made the current
// folder while it exists and removed afterwards.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

class ScratchFolder {
 public:
  ScratchFolder() : previous_(std::filesystem::current_path()) {
    std::filesystem::create_directories(TREE_TEST_SCRATCH);
    std::string pattern = std::string(TREE_TEST_SCRATCH) + "/viewer-XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
    std::filesystem::current_path(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes the bytes exactly as given.
  void write(const std::string& name, std::string_view bytes) const {
    std::ofstream out(path_ / name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};
