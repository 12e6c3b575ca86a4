// Makes a folder the process's current folder for as long as it exists, for
// the tests of code that reads its files by relative name, and makes the
// previous one current again afterwards.
#pragma once

#include <filesystem>

namespace test_support {

class CurrentFolder {
 public:
  // Throws when the folder cannot be made current; nothing has changed then.
  explicit CurrentFolder(const std::filesystem::path& folder);
  // Ends the process when the previous folder cannot be made current again:
  // the tests after this one would read and write in the wrong place.
  ~CurrentFolder();
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

}  // namespace test_support
