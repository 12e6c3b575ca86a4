#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace fs = std::filesystem;
using test_support::ScratchFolder;

namespace {

TEST(ScratchFolder, IsAFreshEmptyFolderRemovedWithItsFiles) {
  fs::path made;
  {
    ScratchFolder folder;
    made = folder.path();
    ASSERT_TRUE(fs::is_directory(made));
    EXPECT_TRUE(fs::is_empty(made));
    EXPECT_TRUE(fs::equivalent(made.parent_path(), fs::temp_directory_path()));
    folder.write("file", "bytes");
    fs::create_directory(folder / "inner");
    folder.write("inner/file", "more");
  }
  EXPECT_FALSE(fs::exists(made));
}

TEST(ScratchFolder, EachIsItsOwn) {
  ScratchFolder first, second;
  EXPECT_NE(first.path(), second.path());
  first.write("name", "first");
  EXPECT_EQ(second.read("name"), "");
}

TEST(ScratchFolder, UnderARootOfTheCallersChoiceMadeWhenMissing) {
  ScratchFolder outer;
  const fs::path root = outer / "not" / "yet";
  {
    ScratchFolder folder(root);
    EXPECT_EQ(folder.path().parent_path(), root);
    EXPECT_TRUE(fs::is_directory(folder.path()));
  }
  EXPECT_TRUE(fs::is_empty(root)) << "the root stays, the folder goes";
}

TEST(ScratchFolder, WritesAndReadsBytesExactly) {
  ScratchFolder folder;
  const std::string cases[] = {"", std::string("a\0b\r\n\xFF", 6), std::string(1 << 20, 'x')};
  for (const std::string& bytes : cases) {
    folder.write("file", bytes);
    EXPECT_EQ(folder.read("file"), bytes) << bytes.size() << " bytes";
    EXPECT_EQ(fs::file_size(folder / "file"), bytes.size()) << "a longer file is replaced, not overwritten";
  }
  EXPECT_EQ(folder.read("missing"), "");
}

// Where no folder can be made, even by root: a missing test folder must stop
// the test, not leave it working in the current folder.
TEST(ScratchFolder, ThrowsWhenNoFolderCanBeMade) {
  ScratchFolder outer;
  outer.write("plain file", "");
  const struct {
    const char* what;
    fs::path root;
  } cases[] = {
      {"a root below a file", outer / "plain file" / "root"},
      {"a root that takes no new folder", "/proc"},
  };
  for (const auto& c : cases) {
    std::optional<ScratchFolder> folder;
    EXPECT_THROW(folder.emplace(c.root), std::system_error) << c.what;
    EXPECT_FALSE(folder) << c.what;
  }
}

TEST(ScratchFolder, ThrowsWhenAFileCannotBeWritten) {
  ScratchFolder folder;
  EXPECT_THROW(folder.write("missing/file", "bytes"), std::runtime_error);
  fs::create_directory(folder / "a folder");
  EXPECT_THROW(folder.write("a folder", "bytes"), std::runtime_error);
}

}  // namespace
