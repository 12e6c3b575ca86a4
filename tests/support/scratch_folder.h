// A fresh folder of a test's own, removed with everything in it when the
// test is done, with helpers to write and read whole files as bytes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace test_support {

class ScratchFolder {
 public:
  // Under the system's temporary folder ($TMPDIR, else /tmp): readable by
  // any user, whoever owns the clone the tests were built in.
  ScratchFolder();
  // Under `root`, made first when it is missing. Throws when no folder can
  // be made there: a test must not go on with a folder it does not have.
  explicit ScratchFolder(const std::filesystem::path& root);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  // Makes or replaces the file with exactly these bytes; throws when they
  // cannot all be written.
  void write(const std::string& name, std::string_view bytes) const;
  // The file's bytes; empty when there is no such file, which is what the
  // tests of an output that was never made expect to see.
  std::string read(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace test_support
