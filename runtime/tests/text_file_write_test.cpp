#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "runtime/text_file.h"
#include "runtime/utf8.h"
#include "tests/support/scratch_folder.h"
#include "runtime/tests/u16_path.h"

using namespace runtime;
using test_support::ScratchFolder;

namespace {

// Creates the file, or empties an existing one, and opens it for reading
// and writing.
int create_file(int number, std::u16string_view name) {
  const std::string path = encode_utf8(name);
  const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (descriptor < 0) return 0;
  close(descriptor);
  return open_read_write(number, name);
}

struct TextFileWrite : testing::Test {
  ScratchFolder dir;
  std::u16string name = to_u16(dir / "out.txt");
  void SetUp() override { init_files(); }
  void TearDown() override { close_all_files(); }

  std::string written(std::u16string_view text, TextEncoding encoding, int64_t* count = nullptr) {
    EXPECT_NE(create_file(0, name), 0);
    const int64_t n = write_string(0, text, encoding);
    if (count) *count = n;
    EXPECT_EQ(close_file(0), 0);
    return dir.read("out.txt");
  }
};

TEST_F(TextFileWrite, Encodings) {
  struct Case {
    std::u16string text;
    TextEncoding encoding;
    std::string bytes;
  } cases[] = {
      {u"\u00E9", TextEncoding::utf8, "\xC3\xA9"},
      {u"\u20AC", TextEncoding::utf8, "\xE2\x82\xAC"},
      {u"\xD83D\xDE00", TextEncoding::utf8, "\xF0\x9F\x98\x80"},
      {u"\xDC00", TextEncoding::utf8, "\xED\xB0\x80"},
      {u"ab\xD800" u"c", TextEncoding::utf8, "ab"},
      {u"\xD800" u"c", TextEncoding::utf8, ""},
      {u"", TextEncoding::utf8, ""},
      {u"ab", TextEncoding::utf16, std::string("a\0b\0", 4)},
      {u"a\u00E9\u20AC", TextEncoding::bytes, "a\xE9"},
      {u"a\u00E9", static_cast<TextEncoding>(77), "a\xE9"},
  };
  for (const auto& c : cases) {
    int64_t count = -1;
    EXPECT_EQ(written(c.text, c.encoding, &count), c.bytes);
    EXPECT_EQ(count, static_cast<int64_t>(c.bytes.size()));
  }
}

TEST_F(TextFileWrite, AppendAtTheEnd) {
  dir.write("out.txt", "0123456789");
  ASSERT_NE(open_read_write(1, name), 0);
  ASSERT_EQ(file_length(1), 10);
  seek_file(1, file_length(1));
  write_string(1, u"x", TextEncoding::utf8);
  write_string(1, u"\n", TextEncoding::utf8);
  EXPECT_EQ(close_file(1), 0);
  EXPECT_EQ(dir.read("out.txt"), "0123456789x\n");
}

TEST_F(TextFileWrite, OpenReadWriteCreatesAMissingFile) {
  ASSERT_NE(open_read_write(1, name), 0);
  EXPECT_EQ(file_length(1), 0);
  EXPECT_EQ(close_file(1), 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "out.txt"));
}

TEST_F(TextFileWrite, ManySmallWritesKeepTheirOrder) {
  ASSERT_NE(create_file(0, name), 0);
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    const char16_t c = static_cast<char16_t>('a' + i % 26);
    write_string(0, std::u16string(1, c), TextEncoding::utf8);
    expected.push_back(static_cast<char>(c));
  }
  EXPECT_EQ(file_length(0), 5000);  // pending bytes are written out first
  write_string(0, std::u16string(5000, u'z'), TextEncoding::utf8);  // bypasses the buffer
  expected += std::string(5000, 'z');
  EXPECT_EQ(close_file(0), 0);
  EXPECT_EQ(dir.read("out.txt"), expected);
}

TEST_F(TextFileWrite, WritesAfterReadingLandRightAfterTheLastByteRead) {
  dir.write("out.txt", "line1\nline2\nline3\n");
  ASSERT_NE(open_read_write(0, name), 0);
  EXPECT_EQ(read_line(0), u"line1");
  write_string(0, u"XY", TextEncoding::utf8);
  EXPECT_EQ(read_line(0), u"ne2");  // reading goes on after the written bytes
  EXPECT_EQ(close_file(0), 0);
  EXPECT_EQ(dir.read("out.txt"), "line1\nXYne2\nline3\n");
}

TEST_F(TextFileWrite, NumbersWithoutFiles) {
  EXPECT_EQ(file_length(4), -1);
  EXPECT_EQ(write_string(4, u"x", TextEncoding::utf8), 0);
  seek_file(4, 0);
  EXPECT_FALSE(lock_file(4));
}

TEST_F(TextFileWrite, OpenReadWriteFailsOnADirectory) {
  std::filesystem::create_directory(dir / "folder");
  EXPECT_EQ(open_read_write(1, to_u16(dir / "folder")), 0);
  EXPECT_EQ(write_string(1, u"x", TextEncoding::utf8), 0);
}

TEST_F(TextFileWrite, FailedWritesAreReportedAtClose) {
  ASSERT_NE(open_read_write(1, u"/dev/full"), 0);
  write_string(1, u"lost", TextEncoding::utf8);
  EXPECT_EQ(close_file(1), ENOSPC);
}

TEST_F(TextFileWrite, PositionsBeyondTwoGibibytes) {
  // A sparse file just over 2^31 bytes: appending lands at its true end.
  const off_t size = (off_t{1} << 31) + 5;
  {
    const int fd = ::open((dir / "out.txt").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, size), 0);
    ::close(fd);
  }
  ASSERT_NE(open_read_write(1, name), 0);
  ASSERT_EQ(file_length(1), size);
  seek_file(1, file_length(1));
  write_string(1, u"end\n", TextEncoding::utf8);
  ASSERT_EQ(close_file(1), 0);
  EXPECT_EQ(std::filesystem::file_size(dir / "out.txt"), static_cast<uintmax_t>(size + 4));
  const int fd = ::open((dir / "out.txt").c_str(), O_RDONLY);
  char tail[4];
  ASSERT_EQ(pread(fd, tail, 4, size), 4);
  ::close(fd);
  EXPECT_EQ(std::string(tail, 4), "end\n");
}

}  // namespace
