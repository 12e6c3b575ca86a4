#include "tests/support/current_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/scratch_folder.h"

namespace fs = std::filesystem;
using test_support::CurrentFolder;
using test_support::ScratchFolder;

namespace {

TEST(CurrentFolder, IsCurrentWhileItLastsAndThePreviousOneAfter) {
  const fs::path before = fs::current_path();
  ScratchFolder outer, inner;
  {
    CurrentFolder here(outer.path());
    EXPECT_EQ(fs::current_path(), fs::canonical(outer.path()));
    {
      CurrentFolder deeper(inner.path());
      EXPECT_EQ(fs::current_path(), fs::canonical(inner.path()));
    }
    EXPECT_EQ(fs::current_path(), fs::canonical(outer.path()));
  }
  EXPECT_EQ(fs::current_path(), before);
}

TEST(CurrentFolder, ThrowsAndChangesNothingWhenTheFolderIsMissing) {
  const fs::path before = fs::current_path();
  ScratchFolder folder;
  EXPECT_THROW(CurrentFolder(folder / "missing"), fs::filesystem_error);
  EXPECT_EQ(fs::current_path(), before);
}

}  // namespace
