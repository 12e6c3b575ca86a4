#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <thread>
#include <vector>

#include "runtime/text_file.h"
#include "tests/support/scratch_folder.h"
#include "runtime/tests/u16_path.h"

using namespace runtime;
using test_support::ScratchFolder;

namespace {

struct TextFileRead : testing::Test {
  ScratchFolder dir;
  void SetUp() override { init_files(); }
  void TearDown() override { close_all_files(); }

  // Opens bytes as file 0 and reads lines until at_eof.
  std::vector<std::u16string> lines_of(const std::string& bytes,
                                       TextEncoding encoding = TextEncoding::utf8) {
    dir.write("in.txt", bytes);
    EXPECT_NE(open_read(0, to_u16(dir / "in.txt")), 0);
    std::vector<std::u16string> lines;
    while (!at_eof(0) && lines.size() < 100) lines.push_back(read_line(0, encoding));
    return lines;
  }
};

using Lines = std::vector<std::u16string>;

TEST_F(TextFileRead, TerminatorRules) {
  struct Case {
    std::string bytes;
    Lines lines;
  } cases[] = {
      {"a\nb\r\nc\rd", {u"a", u"b", u"c", u"d"}},
      {"a\n", {u"a"}},
      {"a\r\n", {u"a"}},
      {"a\r", {u"a"}},
      {"a\n\nb", {u"a", u"", u"b"}},
      {"a\n\rb", {u"a", u"", u"b"}},           // LF CR is two terminators
      {"a\r\r\nb", {u"a", u"", u"b"}},         // so is CR CR LF
      {std::string("a\0b", 3), {u"a", u"b"}},  // a zero byte splits the line
      {"", {}},
      {"\n", {u""}},
      {"\xEF\xBB\xBF" "1,x\n", {u"\uFEFF1,x"}},
      {"a\xC3\x41\nnext", {u"a\u0003", u"next"}},  // malformed bytes stay in their line
  };
  for (const auto& c : cases) EXPECT_EQ(lines_of(c.bytes), c.lines) << testing::PrintToString(c.bytes);
}

TEST_F(TextFileRead, TerminatorsAcrossBufferBoundaries) {
  // Lines of every length around the buffer size, ended by CR LF, so that the
  // CR and its LF fall on both sides of a refill somewhere.
  std::string bytes;
  Lines expected;
  for (int length = FileBufferSize - 4; length <= FileBufferSize + 4; ++length) {
    std::string line(static_cast<size_t>(length), static_cast<char>('a' + length % 26));
    bytes += line + "\r\n";
    expected.emplace_back(line.begin(), line.end());
  }
  EXPECT_EQ(lines_of(bytes), expected);
}

TEST_F(TextFileRead, LongLineIsReturnedWhole) {
  std::string line(10000, 'x');
  line[9999] = 'y';
  EXPECT_EQ(lines_of(line + "\nz"), (Lines{std::u16string(line.begin(), line.end()), u"z"}));
}

TEST_F(TextFileRead, ReadingPastTheEndGivesEmptyLines) {
  lines_of("only\n");
  EXPECT_EQ(at_eof(0), 1);
  EXPECT_EQ(read_line(0), u"");
  EXPECT_EQ(read_line(0), u"");
  EXPECT_EQ(at_eof(0), 1);
}

TEST_F(TextFileRead, OtherEncodings) {
  EXPECT_EQ(lines_of("\xE9z\n", TextEncoding::bytes), (Lines{u"\u00E9z"}));
  EXPECT_EQ(lines_of(std::string("a\0b\0\r\0\n\0c\0\n\0d\0", 14), TextEncoding::utf16),
            (Lines{u"ab", u"c", u"d"}));
  EXPECT_EQ(lines_of(std::string("a\0\0\0b\0x", 7), TextEncoding::utf16),
            (Lines{u"a", u"b"}));  // unit 0 ends a line; the odd last byte is dropped
}

TEST_F(TextFileRead, NumbersWithoutFiles) {
  EXPECT_EQ(read_line(3), u"");
  EXPECT_EQ(at_eof(3), 0);
  EXPECT_EQ(close_file(3), 0);
  EXPECT_EQ(open_read(3, to_u16(dir / "missing.txt")), 0);
  EXPECT_EQ(at_eof(3), 0);
}

TEST_F(TextFileRead, ReopeningANumberClosesTheFirstFile) {
  dir.write("one.txt", "1\n");
  dir.write("two.txt", "2\n");
  ASSERT_NE(open_read(0, to_u16(dir / "one.txt")), 0);
  ASSERT_NE(open_read(0, to_u16(dir / "two.txt")), 0);
  EXPECT_EQ(read_line(0), u"2");
  EXPECT_EQ(open_read(0, to_u16(dir / "missing.txt")), 0);
  EXPECT_EQ(read_line(0), u"");  // the number holds no file any more
}

TEST_F(TextFileRead, AutomaticNumbers) {
  dir.write("one.txt", "1\n");
  const int number = open_read(-1, to_u16(dir / "one.txt"));
  ASSERT_NE(number, 0);
  EXPECT_EQ(read_line(number), u"1");
  close_all_files();
  EXPECT_EQ(read_line(number), u"");
  EXPECT_EQ(open_read(-1, to_u16(dir / "missing.txt")), 0);
}

TEST_F(TextFileRead, Utf8FileNames) {
  dir.write("caf\xC3\xA9.txt", "ok");
  ASSERT_NE(open_read(0, to_u16(dir.path()) + u"/caf\u00E9.txt"), 0);
  EXPECT_EQ(read_line(0), u"ok");
}

}  // namespace

namespace {

TEST_F(TextFileRead, ByteOrderMarkIsSkippedOnlyAtTheVeryStart) {
  struct Case {
    std::string bytes;
    bool skipped;
    std::string first_line;
  } cases[] = {
      {"\xEF\xBB\xBFname\nx", true, "name"},
      {"\xEF\xBB\xBF", true, ""},
      {"\xEF\xBBname", false, "\xEF\xBBname"},
      {"name\xEF\xBB\xBF", false, "name\xEF\xBB\xBF"},
      {"\xEF\xBB\xBF\xEF\xBB\xBFx", true, "\xEF\xBB\xBFx"},  // only one is taken
      {"", false, ""},
  };
  for (const auto& c : cases) {
    dir.write("bom.txt", c.bytes);
    ASSERT_NE(open_read(0, to_u16(dir / "bom.txt")), 0);
    EXPECT_EQ(skip_utf8_bom(0), c.skipped) << testing::PrintToString(c.bytes);
    std::string line;
    read_line_bytes(0, line);
    EXPECT_EQ(line, c.first_line) << testing::PrintToString(c.bytes);
    close_file(0);
  }
  // Once a line has been read, a mark is content.
  dir.write("late.txt", "\n\xEF\xBB\xBFx");
  ASSERT_NE(open_read(0, to_u16(dir / "late.txt")), 0);
  std::string line;
  read_line_bytes(0, line);
  EXPECT_FALSE(skip_utf8_bom(0));
  EXPECT_FALSE(skip_utf8_bom(7));  // no file under that number
}

// A FIFO has no position to tell its start by: the mark is still skipped
// while nothing has been read, and is content after that.
TEST_F(TextFileRead, ByteOrderMarkIsSkippedFromAFifoToo) {
  for (const bool read_first : {false, true}) {
    const std::string fifo = (dir / (read_first ? "late.fifo" : "start.fifo")).string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The writer's open waits for the reader's, and the reader's for it.
    std::thread writer([&] {
      std::ofstream(fifo, std::ios::binary) << (read_first ? "\n" : "") << "\xEF\xBB\xBFname\n";
    });
    ASSERT_NE(open_read(0, to_u16(fifo)), 0);
    std::string line;
    if (read_first) read_line_bytes(0, line);
    EXPECT_EQ(skip_utf8_bom(0), !read_first);
    line.clear();
    read_line_bytes(0, line);
    EXPECT_EQ(line, read_first ? "\xEF\xBB\xBFname" : "name");
    close_file(0);
    writer.join();
  }
}

}  // namespace
